#include "media/encode/vaapi_device.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/hwcontext.h>
}

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

ffmpeg::BufferRef openVaapiDevice(const std::string& node) {
    ffmpeg::routeLogging();
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, node.c_str(), nullptr, 0) < 0) return nullptr;
    return ffmpeg::BufferRef(device);
}

std::optional<std::string> vaapiRenderDevice() {
    // Opening a device loads the driver, which takes long enough to do only once.
    static std::once_flag once;
    static std::optional<std::string> found;
    std::call_once(once, [] {
        std::error_code error;
        std::vector<std::string> nodes;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("renderD", 0) == 0) nodes.push_back(entry.path().string());
        }
        std::sort(nodes.begin(), nodes.end());
        for (const auto& node : nodes) {
            if (openVaapiDevice(node)) {
                found = node;
                log::info(log_area::kMedia, "hardware encoding through %s", node.c_str());
                return;
            }
        }
        log::debug(log_area::kMedia, "no VAAPI render device; encoding in software");
    });
    return found;
}

}  // namespace orvane
