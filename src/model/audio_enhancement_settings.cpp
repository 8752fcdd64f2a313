#include "model/audio_enhancement_settings.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<AudioEnhancerPreset, 3> kRawValues = {{
    {AudioEnhancerPreset::natural, "natural"},
    {AudioEnhancerPreset::broadcast, "broadcast"},
    {AudioEnhancerPreset::punchy, "punchy"},
}};

}  // namespace

std::string_view rawValue(AudioEnhancerPreset preset) { return detail::rawValueIn(kRawValues, preset); }

std::optional<AudioEnhancerPreset> audioEnhancerPresetFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kRawValues, raw);
}

}  // namespace orvane
