#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <optional>
#include <string>

#include "media/ffmpeg_handles.h"

namespace orvane {

// The first VAAPI render node (/dev/dri/renderD*) that opens, looked for once per process; nothing
// when the machine has none, in which case encoders go straight to software.
std::optional<std::string> vaapiRenderDevice();

// `node` opened as a VAAPI device; nothing when it does not open.
ffmpeg::BufferRef openVaapiDevice(const std::string& node);

}  // namespace orvane
