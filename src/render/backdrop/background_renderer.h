#pragma once

#include <filesystem>
#include <optional>

#include <cairo.h>

#include "base/geometry.h"
#include "media/cairo_handles.h"
#include "model/background_style.h"

namespace orvane {

// Paints the desktop background `style` into `canvas` (bottom-left origin, y up; see
// backdrop_drawing.h). `customImage` is used only by BackgroundStyle::customImage: a PNG, or any
// still image FFmpeg can decode (JPEG, WebP, ...), drawn aspect-filled; when it is missing or
// unreadable the style's fallback gradient is painted instead. `none` clears the canvas.
void drawBackground(cairo_t* cr, BackgroundStyle style, const std::optional<std::filesystem::path>& customImage,
                    const Rect& canvas);

// Renders the background at `width` x `height` into a new ARGB32 surface. Meant to be made once per
// render job and reused for every frame. Answers a null surface when the size is not positive or
// Cairo cannot allocate it.
cairo::Surface renderBackground(BackgroundStyle style, const std::optional<std::filesystem::path>& customImage,
                                int width, int height);

// Loads a still image as a Cairo ARGB32 surface: PNG through Cairo, anything else through FFmpeg's
// image decoders. Null when the file is missing or cannot be decoded.
cairo::Surface loadStillImage(const std::filesystem::path& file);

}  // namespace orvane
