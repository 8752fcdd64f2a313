#include "render/paint/blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orvane {
namespace {

// Running-sum box filter over one line of `count` pixels `step` bytes apart, `Channels` bytes each.
// Work is proportional to the line length whatever the radius.
template <int Channels>
void blurLine(std::uint8_t* line, int count, std::ptrdiff_t step, int radius, std::vector<std::uint8_t>& scratch) {
    scratch.resize(static_cast<std::size_t>(count) * Channels);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < Channels; ++c) scratch[static_cast<std::size_t>(i * Channels + c)] = line[i * step + c];
    const std::uint32_t window = static_cast<std::uint32_t>(2 * radius + 1);
    std::uint32_t sums[Channels] = {};
    for (int i = 0; i <= std::min(radius, count - 1); ++i)
        for (int c = 0; c < Channels; ++c) sums[c] += scratch[static_cast<std::size_t>(i * Channels + c)];
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < Channels; ++c)
            line[i * step + c] = static_cast<std::uint8_t>((sums[c] + window / 2) / window);
        const int entering = i + radius + 1;
        const int leaving = i - radius;
        for (int c = 0; c < Channels; ++c) {
            if (entering < count) sums[c] += scratch[static_cast<std::size_t>(entering * Channels + c)];
            if (leaving >= 0) sums[c] -= scratch[static_cast<std::size_t>(leaving * Channels + c)];
        }
    }
}

template <int Channels>
void boxBlurPixels(std::uint8_t* data, int width, int height, int stride, int radius) {
    std::vector<std::uint8_t> scratch;
    for (int y = 0; y < height; ++y) blurLine<Channels>(data + y * stride, width, Channels, radius, scratch);
    for (int x = 0; x < width; ++x) blurLine<Channels>(data + x * Channels, height, stride, radius, scratch);
}

}  // namespace

std::array<int, 3> gaussianBoxRadii(double sigma) {
    if (!(sigma >= 0.5)) return {0, 0, 0};
    constexpr int n = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    // How many of the three boxes take the smaller width so the variances add up to sigma^2.
    const double m = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
    const int smaller = static_cast<int>(std::lround(m));
    std::array<int, 3> radii{};
    for (int i = 0; i < n; ++i) radii[static_cast<std::size_t>(i)] = ((i < smaller ? lower : upper) - 1) / 2;
    return radii;
}

void boxBlur(cairo_surface_t* surface, int radius) {
    if (radius <= 0 || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) return;
    cairo_surface_flush(surface);
    std::uint8_t* data = cairo_image_surface_get_data(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (!data || width <= 0 || height <= 0) return;
    switch (cairo_image_surface_get_format(surface)) {
        case CAIRO_FORMAT_ARGB32: boxBlurPixels<4>(data, width, height, stride, radius); break;
        case CAIRO_FORMAT_A8: boxBlurPixels<1>(data, width, height, stride, radius); break;
        default: return;
    }
    cairo_surface_mark_dirty(surface);
}

void gaussianBlur(cairo_surface_t* surface, double sigma) {
    for (const int radius : gaussianBoxRadii(sigma)) boxBlur(surface, radius);
}

}  // namespace orvane
