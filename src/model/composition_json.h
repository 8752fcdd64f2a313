#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/composition_document.h"

namespace orvane {

inline constexpr std::string_view kCompositionFileName = "composition.json";

// Pretty-printed with sorted keys; optional fields are left out when absent.
std::string encodeCompositionDocument(const CompositionDocument& document);

// Strict: every non-optional key is required, enumerations must be known raw values. Anything else
// answers nothing, and `error` (when given) names the record and key at fault.
std::optional<CompositionDocument> decodeCompositionDocument(std::string_view text, std::string* error = nullptr);

// Writes <recordingFolder>/composition.json atomically; a failure (std::system_error) leaves any
// previous file intact.
void writeCompositionDocument(const CompositionDocument& document, const std::filesystem::path& recordingFolder);

}  // namespace orvane
