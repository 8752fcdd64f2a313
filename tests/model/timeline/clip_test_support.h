#pragma once

#include <string>
#include <utility>

#include "model/clip.h"

namespace orvane::testing {

inline Clip clip(double sourceStart, double sourceEnd, double headOffset = 0, std::string file = "screen.mp4") {
    return Clip{Uuid::random(), std::move(file), sourceStart, sourceEnd, headOffset};
}

}  // namespace orvane::testing
