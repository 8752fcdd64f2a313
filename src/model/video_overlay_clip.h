#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/uuid.h"
#include "base/geometry.h"

namespace orvane {

// The frame drawn around an overlay. Only `colored` carries values, so the colour is private and
// zero for every other case: two thin white borders always compare equal.
class BorderStyle {
public:
    // Case names double as the JSON keys and as the names the composition document stores.
    enum class Case { none, thinWhite, thickWhite, colored, softShadow, glowRing };

    struct Color {
        double red = 0;
        double green = 0;
        double blue = 0;
        double alpha = 0;
        bool operator==(const Color&) const = default;
    };

    BorderStyle() = default;  // none
    static BorderStyle none() { return BorderStyle(Case::none, {}); }
    static BorderStyle thinWhite() { return BorderStyle(Case::thinWhite, {}); }
    static BorderStyle thickWhite() { return BorderStyle(Case::thickWhite, {}); }
    static BorderStyle colored(double red, double green, double blue, double alpha) {
        return BorderStyle(Case::colored, {red, green, blue, alpha});
    }
    static BorderStyle softShadow() { return BorderStyle(Case::softShadow, {}); }
    static BorderStyle glowRing() { return BorderStyle(Case::glowRing, {}); }
    // Any case except `colored`, which needs its colour.
    static std::optional<BorderStyle> plain(Case kind);

    Case kind() const { return case_; }
    // The colour of a `colored` border; nothing for every other case.
    std::optional<Color> color() const;

    bool operator==(const BorderStyle&) const = default;

private:
    BorderStyle(Case kind, Color color) : case_(kind), color_(color) {}

    Case case_ = Case::none;
    Color color_;
};

inline constexpr std::array kAllBorderStyleCases = {
    BorderStyle::Case::none,     BorderStyle::Case::thinWhite,  BorderStyle::Case::thickWhite,
    BorderStyle::Case::colored,  BorderStyle::Case::softShadow, BorderStyle::Case::glowRing};

std::string_view caseName(BorderStyle::Case kind);
std::optional<BorderStyle::Case> borderStyleCaseFromName(std::string_view name);

// A video, image or logo drawn over the recording. File locations are std::filesystem::path.
struct VideoOverlayClip {
    // Raw values "video", "image", "logo".
    enum class MediaKind { video, image, logo };

    Uuid id = Uuid::random();
    double startTime = 0;    // composition time
    double sourceStart = 0;  // offset into the overlay's media
    double duration = 0;
    std::filesystem::path path;
    Rect normalizedFrame{0, 0, 1, 1};
    double cornerRadius = 0;
    float volume = 1;
    std::string label;
    MediaKind mediaKind = MediaKind::video;
    bool mirrored = false;
    double rotationRadians = 0;
    std::optional<Rect> sourceCropRect;
    BorderStyle borderStyle;
    int lane = 0;
    double backgroundBlur = 0;  // 0...1; use makeVideoOverlayClip to get the clamp
    bool autoFrameFaceCam = false;

    bool operator==(const VideoOverlayClip&) const = default;
};

inline constexpr std::array kAllMediaKinds = {VideoOverlayClip::MediaKind::video, VideoOverlayClip::MediaKind::image,
                                              VideoOverlayClip::MediaKind::logo};

std::string_view rawValue(VideoOverlayClip::MediaKind kind);
std::optional<VideoOverlayClip::MediaKind> mediaKindFromRaw(std::string_view raw);

// Creates an overlay from the given fields, clamping backgroundBlur to 0...1 (a NaN becomes 0) so
// the renderer never sees a blur outside its range.
VideoOverlayClip makeVideoOverlayClip(VideoOverlayClip fields);

}  // namespace orvane

template <>
struct std::hash<orvane::BorderStyle> {
    std::size_t operator()(const orvane::BorderStyle& style) const noexcept;
};
template <>
struct std::hash<orvane::VideoOverlayClip> {
    std::size_t operator()(const orvane::VideoOverlayClip& clip) const noexcept;
};
