#include "studio/recording_controller.h"

#include <exception>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "platform/screen_capture.h"
#include "studio/panels/recording_panels.h"

namespace orvane::studio {

using Phase = ScreenRecorder::Phase;

RecordingController::RecordingController(app::Services& services, RecordingSelectionStore& selection,
                                         Executor& background, QObject* parent)
    : QObject(parent), services_(services), selection_(selection), background_(background) {}

RecordingController::~RecordingController() {
    // The flow observes the recorder, which measures the panels: in that order.
    flow_.reset();
    recorder_.reset();
    panels_.reset();
}

RecordingPanels& RecordingController::panels() {
    if (!panels_) panels_ = std::make_unique<RecordingPanels>(services_);
    return *panels_;
}

void RecordingController::refreshSources() {
    if (refreshing_) return;
    refreshing_ = true;
    Q_EMIT catalogChanged();
    ScreenCaptureSystem* capture = nullptr;
    try {
        capture = &services_.screenCapture();
    } catch (const std::exception& e) {
        catalogLoaded({}, std::string(e.what()));
        return;
    }
    std::weak_ptr<RecordingController*> weak = self_;
    Executor& main = services_.mainLoop();
    // The X server round trips stay off the UI thread; the capture system serialises its own access.
    background_.post([capture, weak, &main] {
        SourceCatalogSnapshot snapshot;
        std::optional<std::string> error;
        try {
            snapshot = buildSourceCatalog(capture->shareableContent(), false);
        } catch (const std::exception& e) {
            error = e.what();
        }
        main.post([weak, snapshot = std::move(snapshot), error = std::move(error)]() mutable {
            if (auto self = weak.lock()) (*self)->catalogLoaded(std::move(snapshot), std::move(error));
        });
    });
}

void RecordingController::catalogLoaded(SourceCatalogSnapshot snapshot, std::optional<std::string> error) {
    refreshing_ = false;
    if (error) {
        catalogStatus_ = CatalogStatus::failed;
        catalogError_ = QString::fromStdString("Could not load sources: " + *error);
        log::warning(log_area::kStudio, "%s", catalogError_.toStdString().c_str());
    } else {
        catalogStatus_ = CatalogStatus::loaded;
        catalog_ = std::move(snapshot);
        catalogError_.clear();
    }
    try {
        cameras_ = services_.cameras();
        microphones_ = services_.microphones();
    } catch (const std::exception& e) {
        log::warning(log_area::kStudio, "could not list capture devices: %s", e.what());
    }
    Q_EMIT catalogChanged();
}

std::optional<RecordingSource> RecordingController::lastSource() const {
    const std::string id = services_.preferences().lastUsedSourceID();
    if (id.empty()) return std::nullopt;
    return findSource(catalog_, id);
}

Phase RecordingController::phase() const { return recorder_ ? recorder_->state().phase : Phase::idle; }

double RecordingController::elapsed() const { return recorder_ ? recorder_->elapsed() : 0; }

RecordingMenuState RecordingController::menuState() const {
    RecordingMenuState state;
    state.phase = phase();
    state.cameras = cameras_;
    state.microphones = microphones_;
    state.sourcesStatus = catalogStatus_ == CatalogStatus::loading  ? RecordingMenuState::Sources::loading
                          : catalogStatus_ == CatalogStatus::failed ? RecordingMenuState::Sources::needRefresh
                                                                    : RecordingMenuState::Sources::ready;
    state.refreshingSources = refreshing_;
    state.sources = catalog_;
    return state;
}

bool RecordingController::start(RecordingRequest request) {
    const Phase now = phase();
    if (now == Phase::starting || now == Phase::recording || now == Phase::stopping) return false;
    flow_.reset();
    recorder_.reset();
    discardWhenDone_ = false;
    try {
        // The face track opens the camera itself; the bubble shows the track's frames meanwhile.
        std::function<void(const CameraFrame&)> preview;
        if (request.options.includeWebcam) preview = panels().handCameraToRecording();
        auto recorderServices = services_.recorderServices(request.options, std::move(preview));
        recorderServices.faceCameraPanel = &panels().faceCamera();
        recorderServices.ownWindowIDs = RecordingPanels::ownWindowIDs();
        recorder_ = std::make_unique<ScreenRecorder>(std::move(recorderServices));
    } catch (const std::exception& e) {
        panels().cameraReleasedByRecording();
        services_.toasts().post(ToastLevel::error, "Recording did not start.", std::string(e.what()));
        return false;
    }
    flow_ = std::make_unique<RecordingFlow>(
        *recorder_, services_.library(), selection_, services_.preferences().lastUsedSourceID(),
        rememberLastUsedSource(services_.preferences()), [this](const RecordingMeta& meta, const std::optional<Uuid>&) {
            // The editor opens it once it exists; until then the library shows it
            // selected.
            Q_EMIT recordingFinished(QString::fromStdString(meta.id.string()));
        });
    reporting_.emplace(services_.analytics());
    stateSubscription_ = recorder_->observeState([this](const ScreenRecorder::State& state) {
        reporting_->recorderChanged(state);
        if (state.phase != Phase::starting && state.phase != Phase::recording) panels().cameraReleasedByRecording();
        Q_EMIT phaseChanged();
    });
    elapsedSubscription_ = recorder_->observeElapsed([this](const double& seconds) { Q_EMIT elapsedChanged(seconds); });
    auto callerReply = std::move(request.reply);
    request.reply = [this, callerReply = std::move(callerReply)](const RecordingReply& reply) {
        reporting_->answered(reply, recorder_->state());
        answered(reply);
        if (callerReply) callerReply(reply);
    };
    const bool started = flow_->start(std::move(request), catalog_);
    Q_EMIT phaseChanged();
    return started;
}

bool RecordingController::startWithSource(const std::optional<RecordingSource>& source,
                                          std::optional<RecordingSourceKind> preferredKind) {
    RecordingRequest request;
    request.source = source;
    request.preferredKind = preferredKind;
    request.options = optionsFromPreferences(services_.preferences());
    return start(std::move(request));
}

void RecordingController::stop() {
    if (recorder_) recorder_->stop();
}

void RecordingController::discard() {
    if (!recorder_) return;
    discardWhenDone_ = phase() == Phase::recording;
    recorder_->stop();
}

void RecordingController::answered(const RecordingReply& reply) {
    if (reply.succeeded && reply.recording && discardWhenDone_) {
        discardWhenDone_ = false;
        try {
            services_.library().remove(reply.recording->id);
        } catch (const std::exception& e) {
            services_.toasts().post(ToastLevel::error, "Couldn't discard the recording", std::string(e.what()));
        }
        return;
    }
    if (reply.succeeded) return;
    // A start the user cancelled needs no words.
    if (recorder_ && recorder_->state().phase == Phase::idle &&
        reply.failure == RecordingReply::Failure::didNotFinish) {
        return;
    }
    std::optional<std::string> detail;
    if (recorder_ && !recorder_->state().failure.empty()) detail = recorder_->state().failure;
    services_.toasts().post(ToastLevel::error, reply.message, detail);
}

}  // namespace orvane::studio
