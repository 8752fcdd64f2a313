#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "base/uuid.h"

namespace orvane {

// A gesture drawn over the recording (touch-style and agent recordings).
struct CursorInteraction {
    // Raw values equal the case names, in this order.
    enum class Kind { tap, navigationTap, longPress, swipe, typing };

    Uuid id = Uuid::random();
    Kind kind = Kind::tap;
    double startTime = 0;
    double endTime = 0;
    double startX = 0.5;
    double startY = 0.5;
    // Equal to the start for taps.
    double endX = 0.5;
    double endY = 0.5;

    bool operator==(const CursorInteraction&) const = default;
};

inline constexpr std::array kAllCursorInteractionKinds = {
    CursorInteraction::Kind::tap, CursorInteraction::Kind::navigationTap, CursorInteraction::Kind::longPress,
    CursorInteraction::Kind::swipe, CursorInteraction::Kind::typing};
std::string_view rawValue(CursorInteraction::Kind kind);
std::optional<CursorInteraction::Kind> cursorInteractionKindFromRaw(std::string_view raw);

}  // namespace orvane

template <>
struct std::hash<orvane::CursorInteraction> {
    std::size_t operator()(const orvane::CursorInteraction& interaction) const noexcept;
};
