#pragma once

#include <functional>
#include <vector>

#include "app/recording_commands.h"

class QMenu;
class QObject;

namespace orvane::studio {

// Draws the recording commands into a Qt menu, as the home window's Recording menu and the tray's
// menu both show them. `performed` runs after an item's work, so the owner can rebuild the menu
// later (never inside the item's own signal: clearing the menu deletes the action).
void fillRecordingMenu(QMenu* menu, const std::vector<RecordingMenuItem>& items, QObject* context,
                       const std::function<void()>& performed);

}  // namespace orvane::studio
