#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvane {

// The output frame's shape. Raw values equal the case names.
enum class ExportAspectRatio { automatic, widescreen, vertical, square };

inline constexpr std::array kAllExportAspectRatios = {ExportAspectRatio::automatic, ExportAspectRatio::widescreen,
                                                      ExportAspectRatio::vertical, ExportAspectRatio::square};

std::string_view rawValue(ExportAspectRatio aspect);
std::optional<ExportAspectRatio> exportAspectRatioFromRaw(std::string_view raw);

}  // namespace orvane
