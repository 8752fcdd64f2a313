#pragma once

#include <QObject>

#include <memory>
#include <optional>
#include <string_view>

#include "app/recording_commands.h"
#include "base/event_loop.h"
#include "model/recording_meta.h"
#include "recording/recording_flow.h"
#include "recording/recording_thumbnail_cache.h"

namespace orvane::app {
class Services;
}

namespace orvane::studio {

class CommandLineLink;
class EditorHost;
class EditorWindow;
class HomeWindow;
class MainLoopBridge;
class RecordingController;
class StudioTray;
class StudioUpdates;

// The studio's long-lived objects over one app::Services: the engine's main loop inside Qt's, the
// background queue, thumbnails, the selection, the recording controller and the home window.
// Every way of asking for a new recording or the settings (menus, the toolbar, later hot keys and
// deep links) goes through the engine's RecordingCommandRouter; the shell observes it and the home
// window takes the requests up.
class StudioShell : public QObject {
    Q_OBJECT
public:
    explicit StudioShell(app::Services& services);
    ~StudioShell() override;

    // Opens the library (its recovery pass may post a toast), starts loading the sources and shows
    // the home window.
    void start();

    app::Services& services() { return services_; }
    Executor& background() { return background_; }
    RecordingThumbnailCache& thumbnails() { return thumbnails_; }
    RecordingSelectionStore& selection() { return selection_; }
    RecordingController& recording() { return *recording_; }
    HomeWindow& home() { return *home_; }
    RecordingCommandRouter& router() { return router_; }
    // The Recording menu's contents, with the studio's recorder behind its commands.
    RecordingCommands& commands() { return *commands_; }
    // What the recording menus are drawn from now.
    RecordingMenuState menuState() const;

    void requestNewRecording(std::optional<RecordingSourceKind> preferredKind = std::nullopt);
    void requestSettings();

    // Opens the recording named by its id or a unique prefix in the editor (or raises its window).
    // When no single recording matches, an error toast says why and nothing opens.
    EditorWindow* openRecording(std::string_view idOrPrefix);
    EditorHost& editors() { return *editors_; }
    StudioTray& tray() { return *tray_; }
    StudioUpdates& updates() { return *updates_; }

Q_SIGNALS:
    // -1 for no preferred kind, else the RecordingSourceKind's value.
    void newRecordingRequested(int preferredKind);
    void settingsRequested();

private:
    app::Services& services_;
    std::unique_ptr<MainLoopBridge> bridge_;
    SerialQueue background_{"orvane.studio"};
    RecordingThumbnailCache thumbnails_;
    RecordingSelectionStore selection_;
    RecordingCommandRouter router_;
    Subscription routerSubscription_;
    std::optional<Uuid> settingsRequestSeen_;
    std::unique_ptr<RecordingCommands> commands_;
    std::unique_ptr<RecordingController> recording_;
    std::unique_ptr<CommandLineLink> commandLineLink_;
    std::unique_ptr<StudioUpdates> updates_;
    std::unique_ptr<EditorHost> editors_;
    std::unique_ptr<HomeWindow> home_;
    std::unique_ptr<StudioTray> tray_;
};

}  // namespace orvane::studio
