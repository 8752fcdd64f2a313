#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "media/cairo_handles.h"
#include "render/paint/pixel_box.h"

namespace orvane {

// Shrinks part of a recording frame straight onto the target's pixel grid by area averaging: each
// target pixel is the mean of the source area it covers, so text keeps its weight instead of
// shimmering as it does when a bilinear filter skips pixels, and the result is painted 1:1.
// Cairo's own area filter does the same job about twenty times slower, and a recording frame is
// far larger than the window it is shown in, every frame. Enlarged (zoomed in), each target pixel
// is interpolated between its two nearest source pixels per axis, as Cairo's bilinear filter does,
// from the shown part of the source only.
//
// One per compositor: it keeps its buffers and tap tables between frames. Not thread-safe.
class AreaDownscaler {
public:
    // Resamples `region` (source pixels; fractional edges are honoured, pixels beyond them repeat
    // the edge as Cairo's PAD extend does) of `source`, an ARGB32 or RGB24 image surface, as if it
    // were stretched over `destination` (target pixels), for the target pixels of `box` only.
    // Returns an image of box's size in the source's format, owned by the downscaler and valid
    // until the next call; null when the source is not such a surface or nothing is to be drawn.
    cairo_surface_t* resample(cairo_surface_t* source, const Rect& region, const Rect& destination,
                              const PixelBox& box);

    // The same written to `out` (box.height rows of box.width pixels, `outStride` bytes apart, in
    // the source's format) rather than to a buffer of its own, such as straight into a frame.
    // False, with nothing written, when the source is not such a surface or the box is empty.
    bool resampleInto(cairo_surface_t* source, const Rect& region, const Rect& destination, const PixelBox& box,
                      std::uint8_t* out, int outStride);

    // Whether every pixel of the last result is opaque, so what lies under it cannot show.
    bool opaque() const { return opaque_; }

    // One axis: for each target pixel, the first source pixel and its weights (in 1/128, summing to
    // 128). `taps` is the same for every pixel; unused weights are zero.
    struct Taps {
        int taps = 0;
        std::vector<int> first;
        std::vector<std::uint16_t> weights;  // first.size() * taps
    };
    // `start`/`end` are the region's edges in source pixels, `destStart`/`destSize` where it lands,
    // `boxStart`/`count` the target pixels wanted; source pixels are limited to 0...sourceSize-1.
    static Taps axisTaps(double start, double end, int sourceSize, double destStart, double destSize, int boxStart,
                         int count, int tapMultiple);

private:
    struct Geometry {
        int sourceWidth = 0, sourceHeight = 0;
        Rect region, destination;
        PixelBox box;
        bool operator==(const Geometry&) const = default;
    };

    Geometry geometry_;
    Taps columns_;
    Taps rows_;
    std::vector<std::uint16_t> columnWeights_;  // columns_ weights spread over four channels each
    std::vector<std::uint16_t> pairWeights_;    // the same interleaved for two pixels at a time
    std::vector<std::int8_t> pairBytes_;        // columns_ weights as bytes, laid out for the byte kernel
    std::vector<std::uint8_t> byteBlocks_;      // per eight pixels: whether every weight fits a signed byte
    std::vector<std::uint8_t> rowBuffer_;       // one vertically resampled row, padded for wide loads
    int rowFirst_ = 0;                          // source column of rowBuffer_'s first pixel
    int rowWidth_ = 0;                          // source columns the vertical pass fills
    cairo::Surface output_;
    bool opaque_ = false;
};

}  // namespace orvane
