#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane {

// A video capture device as the system lists it.
struct CameraDeviceInfo {
    std::string path;      // "/dev/video0"
    std::string uniqueID;  // persistent across reboots and re-plugging where the driver allows: what preferences store
    std::string name;      // the card name ("Integrated Camera")
};

enum class CameraPixelFormat { yuyv422, mjpeg };

// One captured frame, valid for the duration of the callback only.
struct CameraFrame {
    int width = 0;
    int height = 0;
    CameraPixelFormat format = CameraPixelFormat::yuyv422;
    const std::uint8_t* data = nullptr;
    std::size_t bytes = 0;
    int stride = 0;  // bytes per row for packed formats
    std::chrono::steady_clock::time_point time;  // capture time on the monotonic clock
};

// Opening failed. `busy` says another program holds the device, which is worth retrying; `denied`
// says this user may not open it (not in the "video" group), which no retry changes.
class CameraOpenError : public std::runtime_error {
public:
    enum class Reason { busy, denied, other };
    CameraOpenError(const std::string& message, Reason reason) : std::runtime_error(message), reason_(reason) {}
    Reason reason() const { return reason_; }
    bool busy() const { return reason_ == Reason::busy; }
    bool denied() const { return reason_ == Reason::denied; }

private:
    Reason reason_;
};

using CameraFrameCallback = std::function<void(const CameraFrame&)>;

// An opened camera, configured but not yet streaming.
class CameraDevice {
public:
    virtual ~CameraDevice() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual double frameRate() const = 0;
    // Starts delivering frames on the device's own thread. Throws CameraOpenError when streaming
    // cannot start. A failure while streaming ends delivery and calls `onError` once with its text.
    virtual void startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) = 0;
    // After it returns no callback runs or will run.
    virtual void stopStreaming() = 0;
};

// The machine's cameras. Tests substitute their own to drive busy and silent devices.
class CameraSystem {
public:
    virtual ~CameraSystem() = default;
    virtual std::vector<CameraDeviceInfo> cameras() = 0;
    // Whether this user may use the cameras: false when device nodes exist but none may be opened
    // (the user is not in the "video" group). Asks nobody; Linux has no consent prompt.
    virtual bool accessAuthorized() = 0;
    // Throws CameraOpenError.
    virtual std::unique_ptr<CameraDevice> open(const CameraDeviceInfo& device) = 0;
};

}  // namespace orvane
