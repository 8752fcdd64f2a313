#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/recording_analytics.h"
#include "app/recording_commands.h"
#include "base/signal.h"
#include "recording/recording_flow.h"
#include "recording/recording_source.h"
#include "recording/screen_recorder.h"
#include "recording/tracks/device_catalog.h"

namespace orvane {
class Executor;
namespace app {
class Services;
}
}  // namespace orvane

namespace orvane::studio {

class RecordingPanels;

// Where the source catalogue stands.
enum class CatalogStatus { loading, loaded, failed };

// The studio's side of recording: the source catalogue (loaded off the UI thread), the device lists,
// and one recorder with its flow per recording, made through app::Services as the command line makes
// them. Widgets observe it and never hold recording state of their own. A main-loop object.
class RecordingController : public QObject {
    Q_OBJECT
public:
    RecordingController(app::Services& services, RecordingSelectionStore& selection, Executor& background,
                        QObject* parent = nullptr);
    ~RecordingController() override;

    // Reloads displays, windows and applications on the background executor, and the device lists.
    void refreshSources();
    CatalogStatus catalogStatus() const { return catalogStatus_; }
    bool refreshing() const { return refreshing_; }
    const SourceCatalogSnapshot& catalog() const { return catalog_; }
    // "Could not load sources: " + the reason, after a failed load.
    const QString& catalogError() const { return catalogError_; }
    // The last recorded source while it still exists.
    std::optional<RecordingSource> lastSource() const;
    const std::vector<CaptureDeviceInfo>& cameras() const { return cameras_; }
    const std::vector<CaptureDeviceInfo>& microphones() const { return microphones_; }

    ScreenRecorder::Phase phase() const;
    double elapsed() const;
    // What the Recording menu is computed from.
    RecordingMenuState menuState() const;

    // Starts `request` on the current catalogue. False when it did not start (the reason is a toast).
    bool start(RecordingRequest request);
    // Starts with the user's options from the preferences.
    bool startWithSource(const std::optional<RecordingSource>& source,
                         std::optional<RecordingSourceKind> preferredKind = std::nullopt);
    // Finishes the recording, or cancels it while it is starting.
    void stop();
    // Cancels a start, or stops and throws away the recording in progress.
    void discard();

    // The face-camera bubble and the teleprompter, made on first use. A recording measures the
    // bubble, and leaves them and every other studio window out of the picture.
    RecordingPanels& panels();

Q_SIGNALS:
    void catalogChanged();
    void phaseChanged();
    void elapsedChanged(double seconds);
    // A new recording is in the library (already reloaded and selected).
    void recordingFinished(const QString& id);

private:
    void catalogLoaded(SourceCatalogSnapshot snapshot, std::optional<std::string> error);
    void answered(const RecordingReply& reply);

    app::Services& services_;
    RecordingSelectionStore& selection_;
    Executor& background_;
    SourceCatalogSnapshot catalog_;
    CatalogStatus catalogStatus_ = CatalogStatus::loading;
    bool refreshing_ = false;
    QString catalogError_;
    std::vector<CaptureDeviceInfo> cameras_;
    std::vector<CaptureDeviceInfo> microphones_;
    std::unique_ptr<RecordingPanels> panels_;
    std::unique_ptr<ScreenRecorder> recorder_;
    std::unique_ptr<RecordingFlow> flow_;
    std::optional<RecordingAnalytics> reporting_;
    Subscription stateSubscription_;
    Subscription elapsedSubscription_;
    bool discardWhenDone_ = false;
    // Background loads hold a weak reference so a controller destroyed meanwhile is never touched.
    std::shared_ptr<RecordingController*> self_ = std::make_shared<RecordingController*>(this);
};

}  // namespace orvane::studio
