#include "model/video_overlay_clip.h"

#include <algorithm>
#include <cmath>

#include "base/hash.h"
#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<BorderStyle::Case, 6> kBorderCaseNames = {{
    {BorderStyle::Case::none, "none"},
    {BorderStyle::Case::thinWhite, "thinWhite"},
    {BorderStyle::Case::thickWhite, "thickWhite"},
    {BorderStyle::Case::colored, "colored"},
    {BorderStyle::Case::softShadow, "softShadow"},
    {BorderStyle::Case::glowRing, "glowRing"},
}};

constexpr detail::RawValueTable<VideoOverlayClip::MediaKind, 3> kMediaKindRawValues = {{
    {VideoOverlayClip::MediaKind::video, "video"},
    {VideoOverlayClip::MediaKind::image, "image"},
    {VideoOverlayClip::MediaKind::logo, "logo"},
}};

}  // namespace

std::optional<BorderStyle> BorderStyle::plain(Case kind) {
    if (kind == Case::colored) return std::nullopt;
    return BorderStyle(kind, {});
}

std::optional<BorderStyle::Color> BorderStyle::color() const {
    if (case_ != Case::colored) return std::nullopt;
    return color_;
}

std::string_view caseName(BorderStyle::Case kind) { return detail::rawValueIn(kBorderCaseNames, kind); }

std::optional<BorderStyle::Case> borderStyleCaseFromName(std::string_view name) {
    return detail::valueFromRawIn(kBorderCaseNames, name);
}

std::string_view rawValue(VideoOverlayClip::MediaKind kind) { return detail::rawValueIn(kMediaKindRawValues, kind); }

std::optional<VideoOverlayClip::MediaKind> mediaKindFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kMediaKindRawValues, raw);
}

VideoOverlayClip makeVideoOverlayClip(VideoOverlayClip fields) {
    fields.backgroundBlur = std::isnan(fields.backgroundBlur) ? 0.0 : std::clamp(fields.backgroundBlur, 0.0, 1.0);
    return fields;
}

}  // namespace orvane

std::size_t std::hash<orvane::BorderStyle>::operator()(const orvane::BorderStyle& style) const noexcept {
    orvane::HashBuilder builder;
    builder.add(style.kind());
    if (const auto color = style.color()) {
        builder.add(color->red).add(color->green).add(color->blue).add(color->alpha);
    }
    return builder.result();
}

std::size_t std::hash<orvane::VideoOverlayClip>::operator()(const orvane::VideoOverlayClip& clip) const noexcept {
    return orvane::HashBuilder()
        .add(clip.id)
        .add(clip.startTime)
        .add(clip.sourceStart)
        .add(clip.duration)
        .add(clip.path.native())
        .add(clip.normalizedFrame)
        .add(clip.cornerRadius)
        .add(clip.volume)
        .add(clip.label)
        .add(clip.mediaKind)
        .add(clip.mirrored)
        .add(clip.rotationRadians)
        .add(clip.sourceCropRect)
        .add(clip.borderStyle)
        .add(clip.lane)
        .add(clip.backgroundBlur)
        .add(clip.autoFrameFaceCam)
        .result();
}
