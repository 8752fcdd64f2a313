#include "model/recording_cursor_mode.h"

namespace orvane {

namespace {
constexpr RecordingCursorMode kAllModes[] = {RecordingCursorMode::system, RecordingCursorMode::pointer,
                                              RecordingCursorMode::touch, RecordingCursorMode::largePointer,
                                              RecordingCursorMode::icon};
}

std::string_view rawValue(RecordingCursorMode mode) {
    switch (mode) {
        case RecordingCursorMode::system: return "system";
        case RecordingCursorMode::pointer: return "pointer";
        case RecordingCursorMode::touch: return "touch";
        case RecordingCursorMode::largePointer: return "largePointer";
        case RecordingCursorMode::icon: return "icon";
    }
    return "pointer";
}

std::optional<RecordingCursorMode> recordingCursorModeFromRaw(std::string_view raw) {
    for (auto mode : kAllModes) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

RecordingCursorMode normalizedRecordingCursorMode(std::string_view stored) {
    const auto mode = recordingCursorModeFromRaw(stored);
    if (mode == RecordingCursorMode::system || mode == RecordingCursorMode::touch) return *mode;
    return RecordingCursorMode::pointer;
}

std::optional<std::string> preferredCursorIconSymbol(RecordingCursorMode mode) {
    if (mode == RecordingCursorMode::icon) return std::string("sparkle");
    return std::nullopt;
}

}  // namespace orvane
