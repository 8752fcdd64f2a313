#include "model/recording_meta.h"

#include "base/hash.h"
#include "base/text.h"

namespace orvane {

std::string_view rawValue(RecordingSourceKind kind) {
    switch (kind) {
        case RecordingSourceKind::display: return "display";
        case RecordingSourceKind::window: return "window";
        case RecordingSourceKind::application: return "application";
        case RecordingSourceKind::imported: return "import";
    }
    return "display";
}

std::optional<RecordingSourceKind> recordingSourceKindFromRaw(std::string_view raw) {
    for (auto kind : {RecordingSourceKind::display, RecordingSourceKind::window, RecordingSourceKind::application,
                      RecordingSourceKind::imported}) {
        if (rawValue(kind) == raw) return kind;
    }
    return std::nullopt;
}

std::string screenVideoFileName(const RecordingMeta& meta) {
    return meta.recordedWithAlpha.value_or(false) ? "screen.mov" : "screen.mp4";
}

void applyRename(RecordingMeta& meta, std::string_view title) {
    auto trimmed = trimWhitespaceAndNewlines(title);
    if (trimmed.empty()) {
        meta.sourceTitle.reset();
    } else {
        meta.sourceTitle = std::move(trimmed);
    }
}

}  // namespace orvane

std::size_t std::hash<orvane::RecordingMeta>::operator()(const orvane::RecordingMeta& m) const noexcept {
    return orvane::HashBuilder()
        .add(m.id)
        .add(m.createdAt.time_since_epoch().count())
        .add(m.displayWidth)
        .add(m.displayHeight)
        .add(m.fps)
        .add(m.durationMs)
        .add(m.hasSystemAudio)
        .add(m.hasWebcam)
        .add(m.hasCursor)
        .add(m.recordedWithAlpha)
        .add(m.sourceKind)
        .add(m.sourceTitle)
        .add(m.sourceIsSimulator)
        .add(m.facePIPNormalizedFrame)
        .add(m.facePIPCornerRadius)
        .add(m.clickCaptureActive)
        .add(m.capturedSystemCursor)
        .add(m.captureSourceCrop)
        .add(m.preferredCursorVisualStyle)
        .add(m.preferredCursorClickAnimationStyle)
        .add(m.preferredCursorIconSymbol)
        .add(m.hostedShareToken)
        .add(m.hostedShareAPIBaseURL)
        .add(m.hostedShareURL)
        .add(m.hostedSharePermission)
        .add(m.remoteVideoID)
        .add(m.replyToShareToken)
        .add(m.replyToShareAPIBaseURL)
        .add(m.hasMicrophone)
        .result();
}
