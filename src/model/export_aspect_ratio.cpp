#include "model/export_aspect_ratio.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<ExportAspectRatio, 4> kRawValues = {{
    {ExportAspectRatio::automatic, "automatic"},
    {ExportAspectRatio::widescreen, "widescreen"},
    {ExportAspectRatio::vertical, "vertical"},
    {ExportAspectRatio::square, "square"},
}};

}  // namespace

std::string_view rawValue(ExportAspectRatio aspect) { return detail::rawValueIn(kRawValues, aspect); }

std::optional<ExportAspectRatio> exportAspectRatioFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kRawValues, raw);
}

}  // namespace orvane
