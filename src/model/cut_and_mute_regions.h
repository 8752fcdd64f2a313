#pragma once

#include <cstddef>
#include <functional>

#include "base/uuid.h"

namespace orvane {

// A range the editor is about to remove. Never persisted: an applied cut lives on as the clip list.
struct CutRegion {
    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;

    bool operator==(const CutRegion&) const = default;
};

// A range in which the mix is silent.
struct MuteRegion {
    Uuid id = Uuid::random();
    double start = 0;
    double end = 0;

    bool operator==(const MuteRegion&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::CutRegion> {
    std::size_t operator()(const orvane::CutRegion& cut) const noexcept;
};
template <>
struct std::hash<orvane::MuteRegion> {
    std::size_t operator()(const orvane::MuteRegion& mute) const noexcept;
};
