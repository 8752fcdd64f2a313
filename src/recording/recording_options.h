#pragma once

#include <optional>
#include <string>

namespace orvane {

// How one recording is made. A new value is what a recorder uses before its first recording.
struct RecordingOptions {
    bool includeWebcam = false;
    bool includeSystemAudio = false;
    bool activateSource = true;
    bool includeMicrophone = false;
    bool showSystemCursor = true;
    bool captureCursorTelemetry = true;
    bool includeWindowChrome = false;
    // Raw values of the cursor styling chosen before recording, copied into meta.json.
    std::optional<std::string> preferredCursorVisualStyle;
    std::optional<std::string> preferredCursorClickAnimationStyle;
    std::optional<std::string> preferredCursorIconSymbol;

    bool operator==(const RecordingOptions&) const = default;
};

}  // namespace orvane
