#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/camera_system.h"

namespace orvane::testing {

// A camera that produces a moving YUYV test picture on its own thread about 30 times a second, or no
// frames at all; the system around it can report it busy for the first few opens.
class FakeCamera final : public CameraDevice {
public:
    explicit FakeCamera(bool deliversFrames) : delivers_(deliversFrames) {}
    ~FakeCamera() override { stopStreaming(); }
    int width() const override { return 320; }
    int height() const override { return 240; }
    double frameRate() const override { return 30; }

    void startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) override {
        onError_ = std::move(onError);
        stop_ = false;
        thread_ = std::thread([this, onFrame = std::move(onFrame)] {
            std::vector<std::uint8_t> picture(320 * 240 * 2, 128);
            for (int index = 0; !stop_; ++index) {
                if (delivers_) {
                    for (std::size_t i = 0; i < picture.size(); i += 2) picture[i] = std::uint8_t((i / 2 + index * 4) % 256);
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
    void stopStreaming() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void failWhileStreaming(const std::string& description) { onError_(description); }

private:
    bool delivers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::function<void(const std::string&)> onError_;
};

class FakeCameraSystem final : public CameraSystem {
public:
    int busyOpens = 0;  // how many opens fail as busy before one succeeds
    bool deliversFrames = true;
    bool authorized = true;
    int opens = 0;
    FakeCamera* lastCamera = nullptr;

    std::vector<CameraDeviceInfo> cameras() override { return {device()}; }
    bool accessAuthorized() override { return authorized; }
    std::unique_ptr<CameraDevice> open(const CameraDeviceInfo& info) override {
        ++opens;
        if (busyOpens > 0 && busyOpens--) throw CameraOpenError(info.path + ": open: Device or resource busy", true);
        auto camera = std::make_unique<FakeCamera>(deliversFrames);
        lastCamera = camera.get();
        return camera;
    }
    static CameraDeviceInfo device() { return {"/dev/video-fake", "usb-Fake_Camera-video-index0", "Fake Camera"}; }
};

}  // namespace orvane::testing
