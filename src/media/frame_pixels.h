#pragma once

// Small facts and fixes every reader of decoded video pictures needs.
// Include only in .cpp files that talk to FFmpeg.

#include <cstdint>

struct AVStream;

namespace orvane {

// The clockwise rotation (0, 90, 180 or 270) a player applies to show the stream upright, from the
// display matrix a phone or a rotated capture leaves in the container.
int clockwiseRotation(const AVStream* stream);

// Whether an FFmpeg pixel format carries an alpha channel.
bool pixelFormatHasAlpha(int pixelFormat);

// Cairo's ARGB32 is premultiplied; a source with straight alpha is converted in place.
void premultiplyAlpha(std::uint8_t* pixels, int width, int height, int stride);

}  // namespace orvane
