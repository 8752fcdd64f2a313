#include "media/video_frame.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/cairo_handles.h"
#include "media/decode/frame_decoder.h"

namespace orvane {

std::optional<RgbaImage> extractVideoFrame(const std::filesystem::path& video, double seconds, int maxWidth,
                                           int maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0 || std::isnan(seconds)) return std::nullopt;
    try {
        FrameDecoder decoder(video, DecodeOptions{maxWidth, maxHeight, 0});
        auto frame = decoder.readAt(std::clamp(seconds, 0.0, 1e9));
        const auto converted = frame ? decoder.convert(*frame) : nullptr;
        if (converted) return converted->image;
        log::debug(log_area::kMedia, "no frame at %.3f s in %s", seconds, video.c_str());
    } catch (const std::exception& error) {
        log::debug(log_area::kMedia, "no frame from %s: %s", video.c_str(), error.what());
    }
    return std::nullopt;
}

bool writePng(const RgbaImage& image, const std::filesystem::path& file) {
    const bool shapeOk = image.width > 0 && image.height > 0 && image.stride >= image.width * 4 &&
                         image.stride % 4 == 0 &&
                         image.pixels.size() >= static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height);
    if (!shapeOk) {
        log::warning(log_area::kMedia, "not writing %s: malformed image", file.c_str());
        return false;
    }
    // Cairo only reads the pixels while encoding; the cast is for its C signature.
    cairo::Surface surface(cairo_image_surface_create_for_data(const_cast<unsigned char*>(image.pixels.data()),
                                                               CAIRO_FORMAT_ARGB32, image.width, image.height,
                                                               image.stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;

    // Encoded to memory first so a failed write never leaves half a PNG where a good one was.
    std::string encoded;
    const auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (cairo_surface_write_to_png_stream(surface.get(), append, &encoded) != CAIRO_STATUS_SUCCESS) return false;
    try {
        writeFileAtomically(file, encoded);
    } catch (const std::system_error& error) {
        log::warning(log_area::kMedia, "cannot write %s: %s", file.c_str(), error.what());
        return false;
    }
    return true;
}

}  // namespace orvane
