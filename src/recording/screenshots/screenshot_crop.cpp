#include "recording/screenshots/screenshot_crop.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

RgbaImage cropImage(const RgbaImage& image, const Rect& crop) {
    const double left = std::max(crop.minX(), 0.0);
    const double top = std::max(crop.minY(), 0.0);
    const double right = std::min(crop.maxX(), static_cast<double>(image.width));
    const double bottom = std::min(crop.maxY(), static_cast<double>(image.height));
    if (!(right - left >= 2) || !(bottom - top >= 2)) {
        throw ScreenshotCropError(ScreenshotCropError::invalidRegion, "crop region is empty or invalid");
    }
    // Whole pixels only: a fractional edge widens to the pixel it touches.
    const int x0 = static_cast<int>(std::floor(left));
    const int y0 = static_cast<int>(std::floor(top));
    const int x1 = static_cast<int>(std::ceil(right));
    const int y1 = static_cast<int>(std::ceil(bottom));
    RgbaImage result;
    result.width = x1 - x0;
    result.height = y1 - y0;
    result.stride = result.width * 4;
    result.pixels.resize(static_cast<std::size_t>(result.stride) * result.height);
    for (int y = 0; y < result.height; ++y) {
        std::memcpy(&result.pixels[static_cast<std::size_t>(y) * result.stride],
                    &image.pixels[static_cast<std::size_t>(y0 + y) * image.stride + static_cast<std::size_t>(x0) * 4],
                    static_cast<std::size_t>(result.stride));
    }
    return result;
}

RgbaImage readScreenshotPng(const std::filesystem::path& file) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(file.c_str());
    const bool readable = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    RgbaImage image;
    if (readable) {
        cairo_surface_t* argb = surface;
        if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
            // Opaque PNGs load as RGB24; draw them into ARGB32 so every image has one layout.
            argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(surface),
                                              cairo_image_surface_get_height(surface));
            cairo_t* cr = cairo_create(argb);
            cairo_set_source_surface(cr, surface, 0, 0);
            cairo_paint(cr);
            cairo_destroy(cr);
        }
        cairo_surface_flush(argb);
        image.width = cairo_image_surface_get_width(argb);
        image.height = cairo_image_surface_get_height(argb);
        image.stride = image.width * 4;
        image.pixels.resize(static_cast<std::size_t>(image.stride) * image.height);
        const int sourceStride = cairo_image_surface_get_stride(argb);
        const unsigned char* data = cairo_image_surface_get_data(argb);
        for (int y = 0; y < image.height; ++y) {
            std::memcpy(&image.pixels[static_cast<std::size_t>(y) * image.stride],
                        data + static_cast<std::size_t>(y) * sourceStride, static_cast<std::size_t>(image.stride));
        }
        if (argb != surface) cairo_surface_destroy(argb);
    }
    cairo_surface_destroy(surface);
    if (!readable) throw ScreenshotCropError(ScreenshotCropError::unreadableSource, "couldn't get CGImage from source");
    return image;
}

void writeScreenshotPng(const RgbaImage& image, const std::filesystem::path& file) {
    if (image.width <= 0 || image.height <= 0 || image.pixels.empty()) {
        throw ScreenshotCropError(ScreenshotCropError::nothingToEncode, "couldn't get CGImage to encode");
    }
    const auto partial = partialSiblingPath(file);
    std::error_code error;
    if (!writePng(image, partial)) {
        std::filesystem::remove(partial, error);
        throw ScreenshotCropError(ScreenshotCropError::encodeFailed, "PNG encode failed");
    }
    std::filesystem::rename(partial, file, error);
    if (error) {
        std::filesystem::remove(partial, error);
        throw ScreenshotCropError(ScreenshotCropError::encodeFailed, "PNG encode failed");
    }
}

RgbaImage saveCroppedScreenshot(const std::filesystem::path& file, const std::optional<Rect>& crop) {
    RgbaImage image = readScreenshotPng(file);
    if (crop && crop->width >= 2 && crop->height >= 2) {
        try {
            image = cropImage(image, *crop);
        } catch (const ScreenshotCropError& e) {
            log::info(log_area::kScreenshot, "crop skipped: %s", e.what());
        }
    }
    writeScreenshotPng(image, file);
    return image;
}

std::string cropperStatusText(const std::exception* failure) {
    if (!failure) return "Copied to clipboard.";
    return std::string("Couldn't save: ") + failure->what();
}

}  // namespace orvane
