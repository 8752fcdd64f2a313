#include "platform/v4l2/v4l2_camera_system.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"

namespace orvane {

namespace {

namespace fs = std::filesystem;

// The size the "high" capture preset asks for; drivers pick their nearest.
constexpr int kPreferredWidth = 1280;
constexpr int kPreferredHeight = 720;
constexpr int kPreferredFps = 30;
constexpr unsigned kBufferCount = 4;

int xioctl(int fd, unsigned long request, void* argument) {
    int status;
    do {
        status = ioctl(fd, request, argument);
    } while (status < 0 && errno == EINTR);
    return status;
}

std::string cardName(const v4l2_capability& caps) {
    return std::string(reinterpret_cast<const char*>(caps.card),
                       strnlen(reinterpret_cast<const char*>(caps.card), sizeof(caps.card)));
}

bool capturesVideo(const v4l2_capability& caps) {
    const auto device = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    return (device & V4L2_CAP_VIDEO_CAPTURE) && (device & V4L2_CAP_STREAMING);
}

// A name that survives reboots: the udev by-id link when there is one, else the bus position.
std::string uniqueIDFor(const fs::path& node, const v4l2_capability& caps) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev/v4l/by-id", error)) {
        std::error_code resolveError;
        if (fs::canonical(entry.path(), resolveError) == node) return entry.path().filename().string();
    }
    const std::string bus(reinterpret_cast<const char*>(caps.bus_info),
                          strnlen(reinterpret_cast<const char*>(caps.bus_info), sizeof(caps.bus_info)));
    return bus.empty() ? node.string() : bus + ":" + node.filename().string();
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

struct MappedBuffer {
    void* start = MAP_FAILED;
    std::size_t length = 0;
};

[[noreturn]] void failOpen(const std::string& path, const char* step) {
    const int code = errno;
    const auto reason = code == EBUSY                     ? CameraOpenError::Reason::busy
                        : code == EACCES || code == EPERM ? CameraOpenError::Reason::denied
                                                          : CameraOpenError::Reason::other;
    throw CameraOpenError(path + ": " + step + ": " + std::strerror(code), reason);
}

class V4l2Camera final : public CameraDevice {
public:
    explicit V4l2Camera(const CameraDeviceInfo& device) : path_(device.path) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) failOpen(path_, "open");
        try {
            configure();
        } catch (...) {
            release();
            throw;
        }
    }
    ~V4l2Camera() override {
        stopStreaming();
        release();
    }

    int width() const override { return width_; }
    int height() const override { return height_; }
    double frameRate() const override { return frameRate_; }

    void startStreaming(CameraFrameCallback onFrame, std::function<void(const std::string&)> onError) override {
        stopStreaming();
        for (unsigned i = 0; i < buffers_.size(); ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0) failOpen(path_, "queue buffer");
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(fd_, VIDIOC_STREAMON, &type) < 0) failOpen(path_, "start streaming");
        wake_ = eventfd(0, EFD_CLOEXEC);
        stopping_ = false;
        thread_ = std::thread([this, onFrame = std::move(onFrame), onError = std::move(onError)] {
            setCurrentThreadName("orvane.camera");
            pump(onFrame, onError);
        });
    }

    void stopStreaming() override {
        if (!thread_.joinable()) return;
        stopping_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof(one));
        thread_.join();
        ::close(wake_);
        wake_ = -1;
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(fd_, VIDIOC_STREAMOFF, &type);
    }

private:
    void configure() {
        v4l2_capability caps{};
        if (xioctl(fd_, VIDIOC_QUERYCAP, &caps) < 0) failOpen(path_, "query capabilities");
        if (!capturesVideo(caps)) {
            throw CameraOpenError(path_ + " is not a streaming video capture device", CameraOpenError::Reason::other);
        }

        // Compressed frames let USB cameras reach 720p at full rate; raw YUYV is the fallback.
        bool hasMjpeg = false, hasYuyv = false;
        v4l2_fmtdesc description{};
        description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        while (xioctl(fd_, VIDIOC_ENUM_FMT, &description) == 0) {
            if (description.pixelformat == V4L2_PIX_FMT_MJPEG) hasMjpeg = true;
            if (description.pixelformat == V4L2_PIX_FMT_YUYV) hasYuyv = true;
            ++description.index;
        }
        if (!hasMjpeg && !hasYuyv) {
            throw CameraOpenError(path_ + " offers neither MJPEG nor YUYV frames", CameraOpenError::Reason::other);
        }

        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = kPreferredWidth;
        format.fmt.pix.height = kPreferredHeight;
        format.fmt.pix.pixelformat = hasMjpeg ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV;
        format.fmt.pix.field = V4L2_FIELD_NONE;
        if (xioctl(fd_, VIDIOC_S_FMT, &format) < 0) failOpen(path_, "set format");
        width_ = static_cast<int>(format.fmt.pix.width);
        height_ = static_cast<int>(format.fmt.pix.height);
        stride_ = static_cast<int>(format.fmt.pix.bytesperline);
        pixelFormat_ = format.fmt.pix.pixelformat == V4L2_PIX_FMT_MJPEG ? CameraPixelFormat::mjpeg
                                                                         : CameraPixelFormat::yuyv422;

        v4l2_streamparm parameters{};
        parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parameters.parm.capture.timeperframe = {1, kPreferredFps};
        if (xioctl(fd_, VIDIOC_S_PARM, &parameters) == 0 && parameters.parm.capture.timeperframe.numerator > 0) {
            frameRate_ = double(parameters.parm.capture.timeperframe.denominator) /
                         parameters.parm.capture.timeperframe.numerator;
        }

        v4l2_requestbuffers request{};
        request.count = kBufferCount;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        if (xioctl(fd_, VIDIOC_REQBUFS, &request) < 0) failOpen(path_, "request buffers");
        for (unsigned i = 0; i < request.count; ++i) {
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            buffer.index = i;
            if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) failOpen(path_, "query buffer");
            MappedBuffer mapped;
            mapped.length = buffer.length;
            mapped.start = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
            if (mapped.start == MAP_FAILED) failOpen(path_, "map buffer");
            buffers_.push_back(mapped);
        }
    }

    void pump(const CameraFrameCallback& onFrame, const std::function<void(const std::string&)>& onError) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        while (!stopping_) {
            const int ready = poll(fds, 2, -1);
            if (ready < 0) {
                if (errno == EINTR) continue;
                onError(std::string("poll: ") + std::strerror(errno));
                return;
            }
            if (stopping_ || (fds[1].revents & POLLIN)) return;
            if (fds[0].revents & (POLLERR | POLLHUP)) {
                onError("the camera was disconnected");
                return;
            }
            v4l2_buffer buffer{};
            buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buffer.memory = V4L2_MEMORY_MMAP;
            if (xioctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
                if (errno == EAGAIN) continue;
                onError(std::string("dequeue: ") + std::strerror(errno));
                return;
            }
            CameraFrame frame;
            frame.width = width_;
            frame.height = height_;
            frame.format = pixelFormat_;
            frame.data = static_cast<const std::uint8_t*>(buffers_[buffer.index].start);
            frame.bytes = buffer.bytesused;
            frame.stride = stride_;
            if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
                frame.time = std::chrono::steady_clock::time_point(std::chrono::seconds(buffer.timestamp.tv_sec) +
                                                                   std::chrono::microseconds(buffer.timestamp.tv_usec));
            } else {
                frame.time = std::chrono::steady_clock::now();
            }
            if (!(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.bytesused > 0) onFrame(frame);
            if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0) {
                onError(std::string("requeue: ") + std::strerror(errno));
                return;
            }
        }
    }

    void release() {
        for (const auto& buffer : buffers_) {
            if (buffer.start != MAP_FAILED) munmap(buffer.start, buffer.length);
        }
        buffers_.clear();
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::string path_;
    int fd_ = -1;
    int wake_ = -1;
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    double frameRate_ = kPreferredFps;
    CameraPixelFormat pixelFormat_ = CameraPixelFormat::yuyv422;
    std::vector<MappedBuffer> buffers_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class V4l2CameraSystem final : public CameraSystem {
public:
    std::vector<CameraDeviceInfo> cameras() override {
        std::vector<std::pair<int, fs::path>> nodes;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/dev", error)) {
            const auto name = entry.path().filename().string();
            if (name.rfind("video", 0) != 0) continue;
            try {
                nodes.emplace_back(std::stoi(name.substr(5)), entry.path());
            } catch (const std::exception&) {
                continue;
            }
        }
        std::sort(nodes.begin(), nodes.end());
        std::vector<CameraDeviceInfo> result;
        for (const auto& [number, node] : nodes) {
            FileDescriptor fd(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (fd.get() < 0) continue;
            v4l2_capability caps{};
            if (xioctl(fd.get(), VIDIOC_QUERYCAP, &caps) < 0 || !capturesVideo(caps)) continue;
            result.push_back({node.string(), uniqueIDFor(node, caps), cardName(caps)});
        }
        return result;
    }

    bool accessAuthorized() override {
        bool anyNode = false;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator("/dev", error)) {
            if (entry.path().filename().string().rfind("video", 0) != 0) continue;
            anyNode = true;
            if (::access(entry.path().c_str(), R_OK | W_OK) == 0) return true;
        }
        return !anyNode;
    }

    std::unique_ptr<CameraDevice> open(const CameraDeviceInfo& device) override {
        auto camera = std::make_unique<V4l2Camera>(device);
        log::debug(log_area::kWebcam, "opened %s %dx%d at %.0f fps", device.path.c_str(), camera->width(),
                   camera->height(), camera->frameRate());
        return camera;
    }
};

}  // namespace

std::unique_ptr<CameraSystem> makeV4l2CameraSystem() { return std::make_unique<V4l2CameraSystem>(); }

}  // namespace orvane
