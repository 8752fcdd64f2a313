#include "media/frame_pixels.h"

#include <cmath>
#include <cstddef>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace orvane {

int clockwiseRotation(const AVStream* stream) {
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(std::int32_t)) return 0;
    std::int32_t values[9];
    std::memcpy(values, matrix, sizeof values);
    // av_display_rotation_get answers the counter-clockwise angle of the transform.
    const double counterClockwise = av_display_rotation_get(values);
    if (!std::isfinite(counterClockwise)) return 0;
    const long quarterTurns = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarterTurns % 4) + 4) % 4) * 90;
}

bool pixelFormatHasAlpha(int pixelFormat) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pixelFormat));
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
}

void premultiplyAlpha(std::uint8_t* pixels, int width, int height, int stride) {
    for (int y = 0; y < height; ++y) {
        auto* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + x * 4, 4);
            const std::uint32_t alpha = pixel >> 24;
            if (alpha == 255) continue;
            const auto scale = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
            pixel = (alpha << 24) | (scale((pixel >> 16) & 0xff) << 16) | (scale((pixel >> 8) & 0xff) << 8) |
                    scale(pixel & 0xff);
            std::memcpy(row + x * 4, &pixel, 4);
        }
    }
}

}  // namespace orvane
