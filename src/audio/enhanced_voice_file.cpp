#include "audio/enhanced_voice_file.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace orvane {

namespace {

constexpr std::string_view kMarker = ".zant_enhanced_";
constexpr std::size_t kUuidLength = 36;
constexpr std::string_view kExtension = ".m4a";

bool isUuidText(std::string_view text) {
    if (text.size() != kUuidLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

}  // namespace

std::filesystem::path keptEnhancedFilePath(const std::filesystem::path& folder, const std::filesystem::path& original,
                                           const std::filesystem::path& enhancerOutput) {
    return folder / (original.filename().string() + "." + enhancerOutput.filename().string());
}

std::optional<std::filesystem::path> originalOfEnhancedFile(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const std::size_t suffixLength = kMarker.size() + kUuidLength + kExtension.size();
    if (name.size() <= suffixLength) return std::nullopt;
    const std::string_view suffix = std::string_view(name).substr(name.size() - suffixLength);
    if (suffix.substr(0, kMarker.size()) != kMarker || !suffix.ends_with(kExtension) ||
        !isUuidText(suffix.substr(kMarker.size(), kUuidLength))) {
        return std::nullopt;
    }
    return file.parent_path() / name.substr(0, name.size() - suffixLength);
}

}  // namespace orvane
