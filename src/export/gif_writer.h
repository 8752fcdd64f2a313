#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>

#include "media/video_frame.h"

namespace orvane {

struct GifWriterOptions {
    int width = 0;
    int height = 0;
    int fps = 24;
    int frameCount = 0;
};

// Frame `index` of the animation, exactly width x height.
using GifFrameAt = std::function<RgbaImage(int index)>;

// Writes a GIF that loops forever with a delay of 1/fps per frame, colours chosen by one palette
// made from every frame (libavfilter's palettegen/paletteuse, libavcodec's GIF encoder). Frames
// are asked for twice (once for the palette, once to encode) so only one is in memory at a time.
// `progress` gets 0..1. Throws std::runtime_error on failure and ExportCancelled once `stop` is
// requested; the output file is removed on both.
void writeLoopingGif(const std::filesystem::path& output, const GifWriterOptions& options, const GifFrameAt& frameAt,
                     const std::function<void(double)>& progress, std::stop_token stop);

}  // namespace orvane
