#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/iso8601.h"
#include "base/uuid.h"
#include "base/geometry.h"

namespace orvane {

// Raw values: "display", "window", "application", "import".
enum class RecordingSourceKind { display, window, application, imported };

std::string_view rawValue(RecordingSourceKind kind);
std::optional<RecordingSourceKind> recordingSourceKindFromRaw(std::string_view raw);

// The content of meta.json: what was captured, how, and where it was shared.
// Optional fields are left out of the JSON when empty.
struct RecordingMeta {
    Uuid id;
    SystemTime createdAt;
    std::int64_t displayWidth = 0;
    std::int64_t displayHeight = 0;
    std::int64_t fps = 60;
    std::int64_t durationMs = 0;
    bool hasSystemAudio = false;
    bool hasWebcam = false;
    bool hasCursor = false;
    std::optional<bool> recordedWithAlpha;
    std::optional<RecordingSourceKind> sourceKind;
    std::optional<std::string> sourceTitle;
    std::optional<bool> sourceIsSimulator;
    std::optional<Rect> facePIPNormalizedFrame;
    std::optional<double> facePIPCornerRadius;
    std::optional<bool> clickCaptureActive;
    std::optional<bool> capturedSystemCursor;
    std::optional<Rect> captureSourceCrop;
    std::optional<std::string> preferredCursorVisualStyle;
    std::optional<std::string> preferredCursorClickAnimationStyle;
    std::optional<std::string> preferredCursorIconSymbol;
    std::optional<std::string> hostedShareToken;
    std::optional<std::string> hostedShareAPIBaseURL;
    std::optional<std::string> hostedShareURL;
    std::optional<std::string> hostedSharePermission;
    std::optional<std::string> remoteVideoID;
    std::optional<std::string> replyToShareToken;
    std::optional<std::string> replyToShareAPIBaseURL;
    bool hasMicrophone = false;

    bool operator==(const RecordingMeta&) const = default;
};

// "screen.mov" when the capture kept an alpha channel, "screen.mp4" otherwise.
std::string screenVideoFileName(const RecordingMeta& meta);

// The user's rename: trimmed; an empty result clears the title.
void applyRename(RecordingMeta& meta, std::string_view title);

}  // namespace orvane

template <>
struct std::hash<orvane::RecordingMeta> {
    std::size_t operator()(const orvane::RecordingMeta& meta) const noexcept;
};
