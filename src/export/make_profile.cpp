#include "export/make_profile.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

// Sizes and rates are computed in doubles from decimal multipliers; a product that should be whole
// (720, 896000) can land a hair below it, and truncating that would lose a pixel or a bit.
constexpr double kRoundingSlack = 1e-6;

std::int64_t truncated(double value) { return static_cast<std::int64_t>(std::floor(value + kRoundingSlack)); }

int evenSide(double side) {
    const auto whole = truncated(side);
    return static_cast<int>(std::max<std::int64_t>(2, whole - whole % 2));
}

}  // namespace

ExportPresetSpec presetSpec(ExportPreset preset) {
    switch (preset) {
        case ExportPreset::web1080: return {1920, 1080, 60, 18'000'000};
        case ExportPreset::fourK: return {3840, 2160, 60, 55'000'000};
        case ExportPreset::vertical: return {1080, 1920, 30, 16'000'000};
        case ExportPreset::square: return {1080, 1080, 30, 14'000'000};
        case ExportPreset::gif: return {1280, 720, 24, 10'000'000};
    }
    return {1920, 1080, 30, 18'000'000};
}

double bitrateMultiplier(ExportQuality quality) {
    switch (quality) {
        case ExportQuality::automatic: return 0.5;
        case ExportQuality::compact: return 0.28;
        case ExportQuality::standard: return 0.5;
        case ExportQuality::high: return 0.72;
        case ExportQuality::maximum: return 1.0;
    }
    return 0.5;
}

int minimumBitrate(ExportQuality quality) {
    switch (quality) {
        case ExportQuality::automatic: return 850000;
        case ExportQuality::compact: return 450000;
        case ExportQuality::standard: return 850000;
        case ExportQuality::high: return 1200000;
        case ExportQuality::maximum: return 1500000;
    }
    return 850000;
}

OutputProfile makeProfile(const ExportSettings& settings, ExportPreset preset, double duration,
                          std::optional<Size> sourceSize, ProfileOptions options) {
    const auto reference = presetSpec(preset);

    const bool sourceUsable = sourceSize && sourceSize->width > 0 && sourceSize->height > 0 &&
                              std::isfinite(sourceSize->width) && std::isfinite(sourceSize->height);
    const bool presetBase = options.usePresetSize || !sourceUsable;
    double width = presetBase ? reference.width : sourceSize->width;
    double height = presetBase ? reference.height : sourceSize->height;

    // An explicit shape only reshapes the preset's frame; a source size is kept as recorded.
    if (presetBase && settings.aspect != ExportAspectRatio::automatic) {
        const double longSide = std::max(reference.width, reference.height);
        switch (settings.aspect) {
            case ExportAspectRatio::widescreen:
                width = longSide;
                height = 9 * longSide / 16;
                break;
            case ExportAspectRatio::vertical:
                width = 9 * longSide / 16;
                height = longSide;
                break;
            case ExportAspectRatio::square:
                width = height = std::min(longSide, preset == ExportPreset::fourK ? 2160.0 : 1080.0);
                break;
            case ExportAspectRatio::automatic: break;
        }
    }

    if (settings.maxLongEdge && std::isfinite(*settings.maxLongEdge) && *settings.maxLongEdge > 0) {
        const double longer = std::max(width, height);
        if (*settings.maxLongEdge < longer) {
            width = width * *settings.maxLongEdge / longer;
            height = height * *settings.maxLongEdge / longer;
        }
    }

    OutputProfile profile;
    profile.width = evenSide(width);
    profile.height = evenSide(height);
    switch (settings.fps) {
        case ExportFPSOption::automatic: profile.fps = reference.fps > 0 ? reference.fps : 30; break;
        case ExportFPSOption::fps24: profile.fps = 24; break;
        case ExportFPSOption::fps30: profile.fps = 30; break;
        case ExportFPSOption::fps60: profile.fps = 60; break;
    }
    profile.quality = settings.quality;

    const double pixels = std::max(static_cast<double>(profile.width) * profile.height, 1.0);
    const double referencePixels = std::max(static_cast<double>(reference.width) * reference.height, 1.0);
    const double factor = std::clamp(
        pixels / referencePixels * (profile.fps / std::max(static_cast<double>(reference.fps), 1.0)), 0.08, 1.0);
    const auto scaled =
        truncated(factor * bitrateMultiplier(settings.quality) * static_cast<double>(reference.baseBitrate));
    std::int64_t bitrate = std::max<std::int64_t>(minimumBitrate(settings.quality), scaled);

    if (settings.targetBytes && duration > 0 && std::isfinite(duration) && !options.ignoreTargetSize) {
        // 22% of the budget is left for audio and the container.
        const double cap = static_cast<double>(*settings.targetBytes) * 8 * 0.78 / duration;
        bitrate = cap >= kMinimumTargetBitrate ? std::min(bitrate, truncated(cap)) : kMinimumTargetBitrate;
    }
    profile.bitrate = static_cast<int>(std::min<std::int64_t>(bitrate, 2'000'000'000));
    return profile;
}

std::string displayText(const OutputProfile& profile) {
    return std::to_string(profile.width) + "x" + std::to_string(profile.height) + " \u00b7 " +
           std::to_string(profile.fps) + " fps \u00b7 " + std::string(label(profile.quality));
}

}  // namespace orvane
