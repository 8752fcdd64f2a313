#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// How the pointer is shown while recording. Raw values: "system", "pointer", "touch",
// "largePointer", "icon". Only the first three are offered; the last two are read from older
// settings and normalised away.
enum class RecordingCursorMode { system, pointer, touch, largePointer, icon };

std::string_view rawValue(RecordingCursorMode mode);
std::optional<RecordingCursorMode> recordingCursorModeFromRaw(std::string_view raw);

// A stored mode turned into a selectable one: system, pointer and touch are kept; anything else
// (legacy values, unknown or empty text) becomes pointer.
RecordingCursorMode normalizedRecordingCursorMode(std::string_view stored);

// The preferredCursorIconSymbol a recording set up with `mode` carries: "sparkle" for icon,
// nothing otherwise.
std::optional<std::string> preferredCursorIconSymbol(RecordingCursorMode mode);

}  // namespace orvane
