#include "studio/studio_shell.h"

#include <QApplication>

#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "studio/command_line_link.h"
#include "studio/editor/editor_host.h"
#include "studio/editor/editor_window.h"
#include "studio/home_window.h"
#include "studio/main_loop_bridge.h"
#include "studio/recording_controller.h"
#include "studio/studio_tray.h"
#include "studio/studio_updates.h"

namespace orvane::studio {

StudioShell::StudioShell(app::Services& services)
    : services_(services),
      bridge_(std::make_unique<MainLoopBridge>(services.mainLoop())),
      thumbnails_(services.mainLoop(), background_),
      recording_(std::make_unique<RecordingController>(services, selection_, background_)),
      commandLineLink_(std::make_unique<CommandLineLink>(services, background_)),
      updates_(std::make_unique<StudioUpdates>(*this)) {
    RecordingMenuActions actions;
    actions.startRecording = [this](const RecordingSource& source) { recording_->startWithSource(source); };
    actions.stopRecording = [this] { recording_->stop(); };
    actions.refreshSources = [this] { recording_->refreshSources(); };
    actions.installCLI = [this] { commandLineLink_->install(); };
    actions.removeCLI = [this] { commandLineLink_->remove(); };
    commands_ = std::make_unique<RecordingCommands>(services_.preferences(), router_, std::move(actions));
    routerSubscription_ = router_.observe([this] {
        if (const auto& request = router_.newRecordingRequest()) {
            const auto kind = request->kind;
            router_.clearNewRecordingRequest();
            Q_EMIT newRecordingRequested(kind ? static_cast<int>(*kind) : -1);
        }
        if (router_.settingsRequestID() && router_.settingsRequestID() != settingsRequestSeen_) {
            settingsRequestSeen_ = router_.settingsRequestID();
            Q_EMIT settingsRequested();
        }
    });
}

StudioShell::~StudioShell() {
    // Windows observe the controller and the library, so they go first.
    tray_.reset();
    home_.reset();
    editors_.reset();
    recording_.reset();
}

void StudioShell::start() {
    services_.preferences();
    RecordingLibrary& library = services_.library();
    log::info(log_area::kStudio, "library open: %zu recordings", library.recordings().size());
    editors_ = std::make_unique<EditorHost>(services_);
    home_ = std::make_unique<HomeWindow>(*this);
    tray_ = std::make_unique<StudioTray>(*this);
    recording_->refreshSources();
    commandLineLink_->refresh();
    home_->show();
    // The launcher waits for this process: windows close (editors save) and the studio quits.
    connect(updates_.get(), &StudioUpdates::relaunchRequested, this, [] {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    updates_->checkAtLaunch();
}

RecordingMenuState StudioShell::menuState() const {
    RecordingMenuState state = recording_->menuState();
    state.cliInstalled = commandLineLink_->installed();
    return state;
}

void StudioShell::requestNewRecording(std::optional<RecordingSourceKind> preferredKind) {
    router_.requestNewRecording(preferredKind);
}

void StudioShell::requestSettings() { router_.requestSettings(); }

EditorWindow* StudioShell::openRecording(std::string_view idOrPrefix) {
    try {
        return &editors_->open(idOrPrefix);
    } catch (const std::exception& e) {
        log::warning(log_area::kStudio, "could not open %.*s: %s", static_cast<int>(idOrPrefix.size()),
                     idOrPrefix.data(), e.what());
        services_.toasts().post(ToastLevel::error, "Couldn't open the recording", std::string(e.what()));
        return nullptr;
    }
}

}  // namespace orvane::studio
