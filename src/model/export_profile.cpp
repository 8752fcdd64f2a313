#include "model/export_profile.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<ExportQuality, 5> kQualityRawValues = {{
    {ExportQuality::automatic, "automatic"},
    {ExportQuality::compact, "compact"},
    {ExportQuality::standard, "standard"},
    {ExportQuality::high, "high"},
    {ExportQuality::maximum, "maximum"},
}};

constexpr detail::RawValueTable<ExportQuality, 5> kQualityLabels = {{
    {ExportQuality::automatic, "Default"},
    {ExportQuality::compact, "Compact"},
    {ExportQuality::standard, "Standard"},
    {ExportQuality::high, "High"},
    {ExportQuality::maximum, "Maximum"},
}};

constexpr detail::RawValueTable<ExportFPSOption, 4> kFpsRawValues = {{
    {ExportFPSOption::automatic, "automatic"},
    {ExportFPSOption::fps24, "fps24"},
    {ExportFPSOption::fps30, "fps30"},
    {ExportFPSOption::fps60, "fps60"},
}};

constexpr detail::RawValueTable<ExportPreset, 5> kPresetRawValues = {{
    {ExportPreset::web1080, "web1080"},
    {ExportPreset::fourK, "fourK"},
    {ExportPreset::vertical, "vertical"},
    {ExportPreset::square, "square"},
    {ExportPreset::gif, "gif"},
}};

}  // namespace

std::string_view rawValue(ExportQuality quality) { return detail::rawValueIn(kQualityRawValues, quality); }
std::optional<ExportQuality> exportQualityFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kQualityRawValues, raw);
}
std::string_view label(ExportQuality quality) { return detail::rawValueIn(kQualityLabels, quality); }

std::string_view rawValue(ExportFPSOption fps) { return detail::rawValueIn(kFpsRawValues, fps); }
std::optional<ExportFPSOption> exportFPSOptionFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kFpsRawValues, raw);
}

std::string_view rawValue(ExportPreset preset) { return detail::rawValueIn(kPresetRawValues, preset); }
std::optional<ExportPreset> exportPresetFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kPresetRawValues, raw);
}

}  // namespace orvane
