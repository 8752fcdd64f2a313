#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

#include "app/global_hotkey_wiring.h"
#include "base/signal.h"

namespace orvane {
class ScreenshotService;
namespace app {
class Services;
}
}  // namespace orvane

namespace orvane::studio {

class StudioShell;

// The two global hot keys in the studio: X11 key grabs on a connection of their own, or on Wayland
// the desktop's shortcuts portal, whose events are read when the descriptor turns readable, wired
// to the preferences' switches.
class StudioHotkeys : public QObject {
    Q_OBJECT
public:
    // Without either (no X server, or a Wayland desktop without the portal) there are no global hot
    // keys; that is logged and the studio runs on, and the settings show what to bind instead.
    explicit StudioHotkeys(StudioShell& shell, QObject* parent = nullptr);
    ~StudioHotkeys() override;

    // Null when there are no global hot keys here.
    GlobalHotkeyWiring* wiring() { return wiring_.get(); }

private:
    void dispatch();
    // Saves a screenshot of the display under the pointer; a failure is a toast.
    void takeScreenshot(app::Services& services);
    void introduce(StudioShell& shell);

    std::unique_ptr<GlobalHotkeyManager> manager_;
    std::unique_ptr<GlobalHotkeyWiring> wiring_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<ScreenshotService> screenshots_;
    Subscription preferenceChanges_;
};

}  // namespace orvane::studio
