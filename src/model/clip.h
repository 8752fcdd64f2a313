#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/uuid.h"

namespace orvane {

// One piece of source video placed on the composition timeline. `sourceFile` is a plain file name
// relative to the recording folder (not a path or URL), so a moved recording folder keeps working.
struct Clip {
    Uuid id = Uuid::random();
    std::string sourceFile;
    double sourceStart = 0;
    // A clip whose end lies below its start has length 0; it is never treated as reversed time.
    double sourceEnd = 0;
    // Empty timeline placed before this clip.
    double headOffset = 0;

    bool operator==(const Clip&) const = default;
};

// The composition-time range a clip occupies; both ends inclusive when looking up times.
struct ClipRange {
    double compositionStart = 0;
    double compositionEnd = 0;

    bool operator==(const ClipRange&) const = default;
};

// An ordered clip list; its order is the timeline order.
struct ClipComposition {
    // What lies under one composition time.
    struct Mapping {
        std::size_t clipIndex = 0;
        Uuid clipID;
        std::string sourceFile;
        double sourceTime = 0;
        double compositionStart = 0;
        double compositionEnd = 0;

        bool operator==(const Mapping&) const = default;
    };

    std::vector<Clip> clips;

    // The range of the first clip with this id, or nothing.
    std::optional<ClipRange> range(const Uuid& clipID) const;
    // The first clip whose inclusive range holds `compositionTime`, or nothing in gaps and outside.
    std::optional<Mapping> mapping(double compositionTime) const;

    bool operator==(const ClipComposition&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::Clip> {
    std::size_t operator()(const orvane::Clip& clip) const noexcept;
};
template <>
struct std::hash<orvane::ClipComposition> {
    std::size_t operator()(const orvane::ClipComposition& composition) const noexcept;
};
