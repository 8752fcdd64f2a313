#pragma once

#include <array>

#include <cairo.h>

namespace orvane {

// Cairo has no blur, so shadows and soft masks use these separable kernels on image surfaces
// (ARGB32 premultiplied or A8). Pixels outside the surface count as transparent, so a shape blurred
// near an edge fades out rather than smearing the edge inward; give the surface a margin of about
// three standard deviations when the fade must be complete.

// Radii of three successive box blurs whose result approximates a Gaussian of standard deviation
// `sigma` (each box is 2r + 1 pixels wide). All zero for a sigma below 0.5.
std::array<int, 3> gaussianBoxRadii(double sigma);

// One horizontal and one vertical box pass of radius `radius`, in place. Other formats are left
// as they are.
void boxBlur(cairo_surface_t* surface, int radius);

// Three box blurs approximating a Gaussian of standard deviation `sigma`, in place.
void gaussianBlur(cairo_surface_t* surface, double sigma);

}  // namespace orvane
