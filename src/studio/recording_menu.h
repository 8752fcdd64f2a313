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

// Rebuilds a menu on a later turn of the event loop, once however often it is asked in between, so
// never inside a menu action's own signal (clearing the menu deletes that action). Lives as a member
// of `context`, whose destruction drops a rebuild still queued.
class DeferredMenuRebuild {
public:
    DeferredMenuRebuild(QObject* context, std::function<void()> rebuild)
        : context_(context), rebuild_(std::move(rebuild)) {}
    void schedule();

private:
    QObject* context_;
    std::function<void()> rebuild_;
    bool pending_ = false;
};

}  // namespace orvane::studio
