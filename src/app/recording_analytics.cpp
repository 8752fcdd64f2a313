#include "app/recording_analytics.h"

#include <stdexcept>

#include "app/analytics.h"

namespace orvane {

RecordingAnalytics::RecordingAnalytics(AppAnalyticsClient& analytics) : analytics_(analytics) {
    analytics_.track(AnalyticsEvent::recordingStartRequested);
}

void RecordingAnalytics::recorderChanged(const ScreenRecorder::State& state) {
    if (started_ || state.phase != ScreenRecorder::Phase::recording) return;
    started_ = true;
    analytics_.track(AnalyticsEvent::recordingStarted);
}

void RecordingAnalytics::answered(const RecordingReply& reply, const ScreenRecorder::State& recorder) {
    // The flow answers once; a second call would count the recording twice.
    if (answered_) return;
    answered_ = true;
    if (reply.succeeded && reply.recording) {
        const RecordingMeta& meta = *reply.recording;
        analytics_.track(AnalyticsEvent::recordingCompleted,
                         {{"duration_bucket", analyticsDurationBucket(static_cast<double>(meta.durationMs) / 1000.0)},
                          {"has_system_audio", meta.hasSystemAudio},
                          {"has_microphone", meta.hasMicrophone},
                          {"has_webcam", meta.hasWebcam}});
        return;
    }
    // A stop before capture got going is the user changing their mind, not a fault.
    if (reply.failure == RecordingReply::Failure::didNotFinish && recorder.phase == ScreenRecorder::Phase::idle &&
        !started_) {
        analytics_.track(AnalyticsEvent::recordingCancelled);
        return;
    }
    const std::string reason = !recorder.failure.empty() ? recorder.failure
                               : !reply.message.empty()  ? reply.message
                                                         : "Recording did not finish cleanly.";
    analytics_.track(AnalyticsEvent::recordingFailed, analyticsFailureProperties(std::runtime_error(reason)));
}

}  // namespace orvane
