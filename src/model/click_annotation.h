#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/uuid.h"
#include "model/cursor_style.h"

namespace orvane {

// Marker colours of click annotations. Raw values equal the case names, in this order.
enum class AnnotationColor { accent, red, green, yellow, white };
inline constexpr std::array kAllAnnotationColors = {AnnotationColor::accent, AnnotationColor::red,
                                                    AnnotationColor::green, AnnotationColor::yellow,
                                                    AnnotationColor::white};
std::string_view rawValue(AnnotationColor color);
std::optional<AnnotationColor> annotationColorFromRaw(std::string_view raw);

// A marked click, stamped in composition time.
struct ClickAnnotation {
    Uuid id = Uuid::random();
    double time = 0;
    double cx = 0.5;
    double cy = 0.5;
    std::string label;
    AnnotationColor color = AnnotationColor::accent;
    bool enabled = true;
    // Absent: use the project's click animation / click-sound setting.
    std::optional<CursorClickAnimationStyle> animationStyle;
    std::optional<bool> clickSoundEnabled;

    bool operator==(const ClickAnnotation&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::ClickAnnotation> {
    std::size_t operator()(const orvane::ClickAnnotation& annotation) const noexcept;
};
