#include "render/backdrop/background_swatches.h"

#include <cstring>
#include <system_error>

#include "media/video_frame.h"
#include "model/background_style.h"
#include "render/backdrop/background_renderer.h"

namespace orvane {

namespace {

RgbaImage copyOf(cairo_surface_t* surface) {
    RgbaImage image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    image.stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.assign(data, data + static_cast<std::size_t>(image.stride) * static_cast<std::size_t>(image.height));
    return image;
}

}  // namespace

std::vector<std::filesystem::path> writeBackgroundSwatches(const std::filesystem::path& dir, int width, int height,
                                                           std::string* error) {
    auto fail = [error](std::string message) {
        if (error) *error = std::move(message);
        return std::vector<std::filesystem::path>{};
    };
    if (width <= 0 || height <= 0) return fail("The swatch size must be positive.");
    std::error_code created;
    std::filesystem::create_directories(dir, created);
    if (created) return fail("Cannot create the folder " + dir.string() + ": " + created.message());

    std::vector<std::filesystem::path> written;
    for (const BackgroundStyle style : kAllBackgroundStyles) {
        const auto surface = renderBackground(style, std::nullopt, width, height);
        if (!surface)
            return fail("Cannot render a background of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels.");
        const std::filesystem::path file = dir / (std::string(rawValue(style)) + ".png");
        if (!writePng(copyOf(surface.get()), file)) return fail("Cannot write " + file.string() + ".");
        written.push_back(file);
    }
    return written;
}

}  // namespace orvane
