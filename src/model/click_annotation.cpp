#include "model/click_annotation.h"

#include "base/hash.h"
#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<AnnotationColor, 5> kAnnotationColorRawValues = {{
    {AnnotationColor::accent, "accent"},
    {AnnotationColor::red, "red"},
    {AnnotationColor::green, "green"},
    {AnnotationColor::yellow, "yellow"},
    {AnnotationColor::white, "white"},
}};

}  // namespace

std::string_view rawValue(AnnotationColor color) { return detail::rawValueIn(kAnnotationColorRawValues, color); }

std::optional<AnnotationColor> annotationColorFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kAnnotationColorRawValues, raw);
}

}  // namespace orvane

std::size_t std::hash<orvane::ClickAnnotation>::operator()(const orvane::ClickAnnotation& annotation) const noexcept {
    return orvane::HashBuilder()
        .add(annotation.id)
        .add(annotation.time)
        .add(annotation.cx)
        .add(annotation.cy)
        .add(annotation.label)
        .add(annotation.color)
        .add(annotation.enabled)
        .add(annotation.animationStyle)
        .add(annotation.clickSoundEnabled)
        .result();
}
