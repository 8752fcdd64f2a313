#include "support/fake_camera.h"

#include <chrono>
#include <cstdint>

namespace orvane::testing {

void FakeCamera::startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) {
    onError_ = std::move(onError);
    stop_ = false;
    thread_ = std::thread([this, onFrame = std::move(onFrame)] {
        std::vector<std::uint8_t> picture(320 * 240 * 2, 128);
        for (int index = 0; !stop_; ++index) {
            if (delivers_ && !hold_) {
                for (std::size_t i = 0; i < picture.size(); i += 2)
                    picture[i] = std::uint8_t((i / 2 + index * 4) % 256);
                CameraFrame frame;
                frame.width = 320;
                frame.height = 240;
                frame.format = CameraPixelFormat::yuyv422;
                frame.data = picture.data();
                frame.bytes = picture.size();
                frame.stride = 320 * 2;
                frame.time = std::chrono::steady_clock::now();  // the clock the microphone uses
                onFrame(frame);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    });
}

void FakeCamera::stopStreaming() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::unique_ptr<CameraDevice> FakeCameraSystem::open(const CameraDeviceInfo& info) {
    ++opens;
    if (busyOpens > 0 && busyOpens--) {
        throw CameraOpenError(info.path + ": open: Device or resource busy", CameraOpenError::Reason::busy);
    }
    auto camera = std::make_unique<FakeCamera>(deliversFrames, holdFrames);
    lastCamera = camera.get();
    return camera;
}

}  // namespace orvane::testing
