#pragma once

#include <cstdint>

#include <cairo.h>

#include "base/geometry.h"

namespace orvane {

// The grain is seeded the same way for every frame and every export, so it stays still and two
// renders of the same canvas size are identical.
inline constexpr std::uint64_t kGrainSeed = 0xd1b54a32d192ed03ULL;

// Film grain over `canvas` (bottom-left origin, y up) in soft-light: one 1 x 1 dot per cell at the
// cell's corner, cells max(8, floor(longer side / 320)) pixels apart, rows from the bottom edge up,
// dark or light and of varying strength from a 64-bit linear congruential generator.
// Does nothing when `opacity` <= 0.
void drawGrain(cairo_t* cr, const Rect& canvas, double opacity, std::uint64_t seed = kGrainSeed);

// Darkens the corners in multiply: a radial falloff from 0.1 x the shorter side to 0.72 x the
// longer side about the centre. Does nothing when `strength` <= 0.
void drawVignette(cairo_t* cr, const Rect& canvas, double strength);

}  // namespace orvane
