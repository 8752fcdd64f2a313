#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/camera_system.h"

namespace orvane::studio {

// The face-camera bubble's live picture: opens a camera of the given system on a thread of its own
// (opening may wait on a slow or busy device), converts each frame to an image on the camera's
// thread and hands only the newest one to the UI thread, so a slow UI drops frames instead of
// queueing them. Says what went wrong instead of crashing when no camera answers or it goes away.
// A UI-thread object.
class CameraPreview : public QObject {
    Q_OBJECT
public:
    enum class Status { off, starting, live, noCamera, failed };

    explicit CameraPreview(CameraSystem& cameras, QObject* parent = nullptr);
    ~CameraPreview() override;
    CameraPreview(const CameraPreview&) = delete;
    CameraPreview& operator=(const CameraPreview&) = delete;

    // Opens `device` (the first camera without one) and starts delivering frames. Harmless while running.
    void start(std::optional<CameraDeviceInfo> device);
    // Closes the camera; after it returns no frame arrives. Harmless when stopped.
    void stop();
    // Shows frames someone else reads from the camera (a recording's face track, which holds the
    // device): the callback may be called on any thread, also after this preview stopped or was
    // destroyed, when it does nothing.
    CameraFrameCallback showFramesFromElsewhere();

    Status status() const { return status_; }
    // What the bubble shows instead of a picture: empty while live.
    const QString& statusText() const { return statusText_; }
    const QImage& frame() const { return frame_; }

Q_SIGNALS:
    void changed();

private:
    struct Session;
    static void offer(const std::shared_ptr<Session>& session, const CameraFrame& frame);
    void setStatus(Status status, QString text);
    void deliver();

    CameraSystem& cameras_;
    std::shared_ptr<Session> session_;
    Status status_ = Status::off;
    QString statusText_;
    QImage frame_;
};

// A camera frame as an RGB image: YUYV converted here, MJPEG decoded. A null image for data that does
// not decode.
QImage cameraFrameImage(const CameraFrame& frame);

}  // namespace orvane::studio
