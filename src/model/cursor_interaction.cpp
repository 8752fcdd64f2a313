#include "model/cursor_interaction.h"

#include "base/hash.h"
#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<CursorInteraction::Kind, 5> kInteractionKindRawValues = {{
    {CursorInteraction::Kind::tap, "tap"},
    {CursorInteraction::Kind::navigationTap, "navigationTap"},
    {CursorInteraction::Kind::longPress, "longPress"},
    {CursorInteraction::Kind::swipe, "swipe"},
    {CursorInteraction::Kind::typing, "typing"},
}};

}  // namespace

std::string_view rawValue(CursorInteraction::Kind kind) { return detail::rawValueIn(kInteractionKindRawValues, kind); }

std::optional<CursorInteraction::Kind> cursorInteractionKindFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kInteractionKindRawValues, raw);
}

}  // namespace orvane

std::size_t std::hash<orvane::CursorInteraction>::operator()(
    const orvane::CursorInteraction& interaction) const noexcept {
    return orvane::HashBuilder()
        .add(interaction.id)
        .add(interaction.kind)
        .add(interaction.startTime)
        .add(interaction.endTime)
        .add(interaction.startX)
        .add(interaction.startY)
        .add(interaction.endX)
        .add(interaction.endY)
        .result();
}
