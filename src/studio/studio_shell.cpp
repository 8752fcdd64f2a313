#include "studio/studio_shell.h"

#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "studio/home_window.h"
#include "studio/main_loop_bridge.h"
#include "studio/recording_controller.h"

namespace orvane::studio {

StudioShell::StudioShell(app::Services& services)
    : services_(services),
      bridge_(std::make_unique<MainLoopBridge>(services.mainLoop())),
      thumbnails_(services.mainLoop(), background_),
      recording_(std::make_unique<RecordingController>(services, selection_, background_)) {}

StudioShell::~StudioShell() {
    // Windows observe the controller and the library, so they go first.
    home_.reset();
    recording_.reset();
}

void StudioShell::start() {
    services_.preferences();
    RecordingLibrary& library = services_.library();
    log::info(log_area::kStudio, "library open: %zu recordings", library.recordings().size());
    home_ = std::make_unique<HomeWindow>(*this);
    recording_->refreshSources();
    home_->show();
}

void StudioShell::requestNewRecording(std::optional<RecordingSourceKind> preferredKind) {
    Q_EMIT newRecordingRequested(preferredKind ? static_cast<int>(*preferredKind) : -1);
}

void StudioShell::requestSettings() { Q_EMIT settingsRequested(); }

}  // namespace orvane::studio
