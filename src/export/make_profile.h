#pragma once

// Chooses the output profile of an export from the user's settings and the preset it starts from.

#include <cstdint>
#include <optional>
#include <string>

#include "base/geometry.h"
#include "model/export_profile.h"

namespace orvane {

// A preset's reference frame, default rate and the bit rate it gets at full size and rate.
struct ExportPresetSpec {
    int width = 0;
    int height = 0;
    int fps = 0;
    std::int64_t baseBitrate = 0;
};
ExportPresetSpec presetSpec(ExportPreset preset);

// Bit-rate multiplier and floor of a quality.
double bitrateMultiplier(ExportQuality quality);
int minimumBitrate(ExportQuality quality);

// Below this a size target would produce unwatchable video, so the cap stops here.
inline constexpr int kMinimumTargetBitrate = 180000;

struct ProfileOptions {
    bool usePresetSize = false;     // ignore the source size and start from the preset's frame
    bool ignoreTargetSize = false;  // the caller handles size limits itself (a share retry)
};

// `duration` is the output length in seconds (the size cap needs it); `sourceSize` the recording's
// frame in pixels, used as the base when positive.
OutputProfile makeProfile(const ExportSettings& settings, ExportPreset preset, double duration,
                          std::optional<Size> sourceSize, ProfileOptions options = {});

// "1920x1080 · 60 fps · Default": how settings are shown once resolved to a profile.
std::string displayText(const OutputProfile& profile);

}  // namespace orvane
