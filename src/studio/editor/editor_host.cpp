#include "studio/editor/editor_host.h"

#include "app/services.h"
#include "export/export_controller.h"
#include "platform/url_opener.h"
#include "playback/timeline_media.h"
#include "recording/recording_library.h"
#include "studio/editor/editor_window.h"
#include "studio/editor/tasks_tray.h"

namespace orvane::studio {

EditorHost::EditorHost(app::Services& services)
    : services_(services),
      exports_(std::make_unique<ExportController>(services.mainLoop(), exportQueue_, services.exportServices())) {
    opener_ = services.exportServices().urlOpener;
    if (!opener_) opener_ = makeXdgUrlOpener();
    tray_ = std::make_unique<TasksTray>(*exports_, *opener_);
    thumbnailQueue_ = makeUtilityQueue("orvane.thumbnails");
    waveformQueue_ = makeUtilityQueue("orvane.waveforms");
    thumbnails_ = std::make_unique<ClipFrameCache>(services.mainLoop(), *thumbnailQueue_);
    waveforms_ = std::make_unique<WaveformCache>(services.mainLoop(), *waveformQueue_);
}

EditorHost::~EditorHost() {
    // Windows and the tray observe the controller; running exports are asked to stop before the
    // queue's thread is joined.
    windows_.clear();
    tray_.reset();
    for (const auto& task : exports_->tasks()) {
        if (!task.stage.finished()) exports_->cancel(task.id);
    }
    exports_.reset();
}

void EditorHost::showTray() {
    tray_->show();
    tray_->raise();
}

EditorWindow& EditorHost::open(std::string_view idOrPrefix) {
    const RecordingMeta meta = services_.library().find(idOrPrefix);
    auto& slot = windows_[meta.id];
    if (!slot) slot = std::make_unique<EditorWindow>(*this, meta);
    slot->show();
    slot->raise();
    slot->activateWindow();
    return *slot;
}

EditorWindow* EditorHost::window(const Uuid& recordingID) const {
    const auto found = windows_.find(recordingID);
    return found == windows_.end() ? nullptr : found->second.get();
}

EditorWindow* EditorHost::anyWindow() const { return windows_.empty() ? nullptr : windows_.begin()->second.get(); }

void EditorHost::closed(const Uuid& recordingID) {
    auto node = windows_.extract(recordingID);
    if (node.empty()) return;
    // Out of the map at once, so opening the recording again makes a new window; destroyed after
    // the close event that called here has returned.
    std::shared_ptr<EditorWindow> dying(std::move(node.mapped()));
    QMetaObject::invokeMethod(
        this, [dying] {}, Qt::QueuedConnection);
}

}  // namespace orvane::studio
