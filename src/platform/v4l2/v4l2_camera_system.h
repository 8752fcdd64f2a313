#pragma once

#include <memory>

#include "platform/camera_system.h"

namespace orvane {

// Cameras through Video4Linux2: /dev/video* nodes that capture video and stream through mmap.
std::unique_ptr<CameraSystem> makeV4l2CameraSystem();

}  // namespace orvane
