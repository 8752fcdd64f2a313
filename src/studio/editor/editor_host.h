#pragma once

#include <QObject>

#include <map>
#include <memory>
#include <string_view>

#include "base/event_loop.h"
#include "base/uuid.h"

namespace orvane {
class ClipFrameCache;
class Executor;
class ExportController;
class WaveformCache;
class UrlOpener;
namespace app {
class Services;
}
}  // namespace orvane

namespace orvane::studio {

class EditorWindow;
class TasksTray;

// The editor windows of the studio (one per open recording) and what they share: the export
// queue and its background-tasks tray, so exports keep running when their window closes, and the
// timeline's thumbnails and waveforms, so reopening a recording decodes nothing twice.
class EditorHost : public QObject {
    Q_OBJECT
public:
    explicit EditorHost(app::Services& services);
    ~EditorHost() override;

    app::Services& services() { return services_; }
    ExportController& exports() { return *exports_; }
    TasksTray& tray() { return *tray_; }
    ClipFrameCache& thumbnails() { return *thumbnails_; }
    WaveformCache& waveforms() { return *waveforms_; }
    void showTray();

    // Opens the recording named by its id or a unique prefix of it (as the command line resolves
    // it), or raises its window when it is open. Throws std::runtime_error with the library's
    // words when no single recording matches.
    EditorWindow& open(std::string_view idOrPrefix);
    EditorWindow* window(const Uuid& recordingID) const;
    // The first open window, if any (the documentation's pictures show one).
    EditorWindow* anyWindow() const;

private:
    friend class EditorWindow;
    // A closed window is destroyed once its close event has returned.
    void closed(const Uuid& recordingID);

    app::Services& services_;
    SerialQueue exportQueue_{"orvane.export"};
    std::unique_ptr<ExportController> exports_;
    std::shared_ptr<UrlOpener> opener_;
    std::unique_ptr<TasksTray> tray_;
    // Separate queues, so a long recording's waveform does not hold up the thumbnails.
    std::unique_ptr<Executor> thumbnailQueue_;
    std::unique_ptr<Executor> waveformQueue_;
    std::unique_ptr<ClipFrameCache> thumbnails_;
    std::unique_ptr<WaveformCache> waveforms_;
    std::map<Uuid, std::unique_ptr<EditorWindow>> windows_;
};

}  // namespace orvane::studio
