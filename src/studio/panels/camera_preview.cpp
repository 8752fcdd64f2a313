#include "studio/panels/camera_preview.h"

#include <QMetaObject>

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"

namespace orvane::studio {

namespace {

std::uint8_t clampByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

QImage cameraFrameImage(const CameraFrame& frame) {
    if (!frame.data || frame.width <= 0 || frame.height <= 0) return {};
    if (frame.format == CameraPixelFormat::mjpeg) {
        QImage decoded;
        decoded.loadFromData(frame.data, static_cast<int>(frame.bytes), "JPEG");
        return decoded;
    }
    const int stride = frame.stride > 0 ? frame.stride : frame.width * 2;
    if (frame.bytes < static_cast<std::size_t>(stride) * static_cast<std::size_t>(frame.height)) return {};
    QImage image(frame.width, frame.height, QImage::Format_RGB32);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = frame.data + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        // BT.601 limited range, two pixels sharing one chroma pair.
        for (int x = 0; x + 1 < frame.width; x += 2) {
            const int u = in[x * 2 + 1] - 128, v = in[x * 2 + 3] - 128;
            for (int k = 0; k < 2; ++k) {
                const int c = (in[(x + k) * 2] - 16) * 298;
                out[x + k] = qRgb(clampByte((c + 409 * v + 128) >> 8), clampByte((c - 100 * u - 208 * v + 128) >> 8),
                                  clampByte((c + 516 * u + 128) >> 8));
            }
        }
    }
    return image;
}

// What the camera's thread and the UI share. `owner` is cleared (under the mutex) when the preview
// stops this session, so a camera thread that outlives it stops posting to it.
struct CameraPreview::Session {
    std::mutex mutex;
    CameraPreview* owner = nullptr;        // guarded by mutex
    QImage latest;                         // guarded by mutex
    bool deliveryPending = false;          // guarded by mutex
    std::unique_ptr<CameraDevice> device;  // guarded by mutex
    std::atomic<bool> stopped{false};
    std::thread opener;
};

CameraPreview::CameraPreview(CameraSystem& cameras, QObject* parent) : QObject(parent), cameras_(cameras) {}

CameraPreview::~CameraPreview() { stop(); }

void CameraPreview::offer(const std::shared_ptr<Session>& session, const CameraFrame& frame) {
    QImage image = cameraFrameImage(frame);  // on the camera's thread, never the UI's
    if (image.isNull()) return;
    std::lock_guard lock(session->mutex);
    if (!session->owner) return;
    session->latest = std::move(image);
    // One delivery in flight at a time: the UI takes the newest frame when it gets there.
    if (session->deliveryPending) return;
    session->deliveryPending = true;
    CameraPreview* owner = session->owner;
    QMetaObject::invokeMethod(
        owner,
        [owner, session] {
            if (owner->session_ == session) owner->deliver();
        },
        Qt::QueuedConnection);
}

CameraFrameCallback CameraPreview::showFramesFromElsewhere() {
    stop();
    auto session = std::make_shared<Session>();
    session->owner = this;
    session_ = session;
    setStatus(Status::starting, "Starting camera\xE2\x80\xA6");
    return [session](const CameraFrame& frame) { offer(session, frame); };
}

void CameraPreview::start(std::optional<CameraDeviceInfo> device) {
    if (session_) return;
    auto session = std::make_shared<Session>();
    session->owner = this;
    session_ = session;
    setStatus(Status::starting, "Starting camera\xE2\x80\xA6");
    // What the opener reports runs only while this object lives (Qt drops it otherwise) and only for
    // the session that sent it; stop() waits for the opener, so it may name `this`.
    auto report = [this, session](Status status, QString text) {
        QMetaObject::invokeMethod(
            this,
            [this, session, status, text] {
                if (session_ == session) setStatus(status, text);
            },
            Qt::QueuedConnection);
    };
    session->opener = std::thread([this, session, device, report] {
        setCurrentThreadName("orvane.preview");
        std::optional<CameraDeviceInfo> chosen = device;
        try {
            if (!chosen) {
                const auto cameras = cameras_.cameras();
                if (!cameras.empty()) chosen = cameras.front();
            }
            if (!chosen) {
                report(Status::noCamera, "No camera found");
                return;
            }
            auto opened = cameras_.open(*chosen);
            std::lock_guard lock(session->mutex);
            if (session->stopped) return;
            session->device = std::move(opened);
            session->device->startStreaming([session](const CameraFrame& frame) { offer(session, frame); },
                                            [report](const std::string& error) {
                                                log::warning(log_area::kWebcam, "preview stopped: %s", error.c_str());
                                                report(Status::failed, "Camera disconnected");
                                            });
        } catch (const std::exception& e) {
            log::warning(log_area::kWebcam, "preview could not open the camera: %s", e.what());
            report(Status::failed, "Camera not available");
        }
    });
}

void CameraPreview::deliver() {
    if (!session_) return;
    {
        std::lock_guard lock(session_->mutex);
        session_->deliveryPending = false;
        frame_ = session_->latest;
    }
    if (status_ != Status::live) setStatus(Status::live, QString());
    Q_EMIT changed();
}

void CameraPreview::stop() {
    if (!session_) return;
    auto session = std::move(session_);
    session->stopped = true;
    if (session->opener.joinable()) session->opener.join();
    std::unique_ptr<CameraDevice> device;
    {
        std::lock_guard lock(session->mutex);
        session->owner = nullptr;
        device = std::move(session->device);
    }
    if (device) device->stopStreaming();
    frame_ = QImage();
    setStatus(Status::off, QString());
}

void CameraPreview::setStatus(Status status, QString text) {
    status_ = status;
    statusText_ = std::move(text);
    if (status != Status::live) frame_ = QImage();
    Q_EMIT changed();
}

}  // namespace orvane::studio
