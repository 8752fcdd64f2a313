#pragma once

// The values an export is described by: the user's settings, the preset it starts from and the
// output profile chosen from them. Shared by the exporter, the render caches and the controller.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/export_aspect_ratio.h"

namespace orvane {

// Raw values equal the case names.
enum class ExportQuality { automatic, compact, standard, high, maximum };
inline constexpr std::array kAllExportQualities = {ExportQuality::automatic, ExportQuality::compact,
                                                   ExportQuality::standard, ExportQuality::high,
                                                   ExportQuality::maximum};
std::string_view rawValue(ExportQuality quality);
std::optional<ExportQuality> exportQualityFromRaw(std::string_view raw);
// "Default", "Compact", "Standard", "High", "Maximum".
std::string_view label(ExportQuality quality);

// Raw values: "automatic", "fps24", "fps30", "fps60".
enum class ExportFPSOption { automatic, fps24, fps30, fps60 };
std::string_view rawValue(ExportFPSOption fps);
std::optional<ExportFPSOption> exportFPSOptionFromRaw(std::string_view raw);

// The internal export kind. Raw values equal the case names ("web1080", "fourK", ...).
enum class ExportPreset { web1080, fourK, vertical, square, gif };
inline constexpr std::array kAllExportPresets = {ExportPreset::web1080, ExportPreset::fourK, ExportPreset::vertical,
                                                 ExportPreset::square, ExportPreset::gif};
std::string_view rawValue(ExportPreset preset);
std::optional<ExportPreset> exportPresetFromRaw(std::string_view raw);

struct ExportSettings {
    ExportAspectRatio aspect = ExportAspectRatio::automatic;
    ExportFPSOption fps = ExportFPSOption::automatic;
    ExportQuality quality = ExportQuality::automatic;
    std::optional<double> maxLongEdge;  // pixels
    std::optional<std::int64_t> targetBytes;

    bool operator==(const ExportSettings&) const = default;
};

// What the exporter writes: frame size, rate and average video bit rate.
struct OutputProfile {
    int width = 1920;
    int height = 1080;
    int fps = 60;
    int bitrate = 18'000'000;  // bits per second
    ExportQuality quality = ExportQuality::automatic;

    bool operator==(const OutputProfile&) const = default;
};

// A run of output frames rendered into one file; frame indices, end exclusive.
struct RenderSegment {
    int index = 0;
    int startFrame = 0;
    int endFrame = 0;

    int frameCount() const { return endFrame - startFrame; }
    bool operator==(const RenderSegment&) const = default;
};

}  // namespace orvane
