#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orvane {

// The voice enhancer's tuning. Raw values equal the case names.
enum class AudioEnhancerPreset { natural, broadcast, punchy };

inline constexpr std::array kAllAudioEnhancerPresets = {AudioEnhancerPreset::natural, AudioEnhancerPreset::broadcast,
                                                        AudioEnhancerPreset::punchy};

std::string_view rawValue(AudioEnhancerPreset preset);
std::optional<AudioEnhancerPreset> audioEnhancerPresetFromRaw(std::string_view raw);

// What the editor hands the enhancer. `strength` is the share of processed signal in the output
// (0...1); from 0.999 up the processed signal is used as it is.
struct AudioEnhancementSettings {
    bool enabled = true;
    AudioEnhancerPreset preset = AudioEnhancerPreset::natural;
    float strength = 1.0f;

    bool operator==(const AudioEnhancementSettings&) const = default;
};

}  // namespace orvane
