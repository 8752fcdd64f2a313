#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/camera_system.h"

namespace orvane::testing {

// A camera that produces a moving 320x240 YUYV test picture on its own thread about 30 times a
// second, or no frames at all, or (while its system holds frames) none yet, as a camera that is
// slow to wake up.
class FakeCamera final : public CameraDevice {
public:
    FakeCamera(bool deliversFrames, const std::atomic<bool>& holdFrames)
        : delivers_(deliversFrames), hold_(holdFrames) {}
    ~FakeCamera() override { stopStreaming(); }
    int width() const override { return 320; }
    int height() const override { return 240; }
    double frameRate() const override { return 30; }

    void startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) override;
    void stopStreaming() override;
    void failWhileStreaming(const std::string& description) { onError_(description); }

private:
    bool delivers_;
    const std::atomic<bool>& hold_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::function<void(const std::string&)> onError_;
};

// One fake camera that can be reported busy for the first few opens, refused, or silent.
class FakeCameraSystem final : public CameraSystem {
public:
    int busyOpens = 0;  // how many opens fail as busy before one succeeds
    bool deliversFrames = true;
    bool authorized = true;
    std::atomic<bool> holdFrames{false};  // cameras deliver nothing until this is cleared
    int opens = 0;
    FakeCamera* lastCamera = nullptr;

    std::vector<CameraDeviceInfo> cameras() override { return {device()}; }
    bool accessAuthorized() override { return authorized; }
    std::unique_ptr<CameraDevice> open(const CameraDeviceInfo& info) override;
    static CameraDeviceInfo device() { return {"/dev/video-fake", "usb-Fake_Camera-video-index0", "Fake Camera"}; }
};

}  // namespace orvane::testing
