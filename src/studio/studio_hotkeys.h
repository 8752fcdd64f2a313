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

// The two global hot keys in the studio: X11 key grabs on a connection of their own, whose events
// are read when its descriptor turns readable, wired to the preferences' switches.
class StudioHotkeys : public QObject {
    Q_OBJECT
public:
    // Without an X server (a Wayland session without Xwayland) there are no global hot keys; that
    // is logged and the studio runs on.
    explicit StudioHotkeys(StudioShell& shell, QObject* parent = nullptr);
    ~StudioHotkeys() override;

    // Null when no X server answered.
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
