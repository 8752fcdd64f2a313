#pragma once

#include <QObject>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/signal.h"
#include "platform/camera_system.h"
#include "recording/panels/face_camera_panel.h"
#include "recording/panels/teleprompter.h"

class QCheckBox;
class QPlainTextEdit;

namespace orvane {
namespace app {
class Services;
}
}  // namespace orvane

namespace orvane::studio {

class CameraPreview;
class FaceCameraWindow;
class TeleprompterWindow;

// The two recording panels, their windows and the bubble's camera, remembered in the user's
// preferences. The bubble shows the camera while it is visible, except while a recording's face track
// holds the camera (a V4L2 device streams to one reader). A UI-thread object.
class RecordingPanels : public QObject {
    Q_OBJECT
public:
    explicit RecordingPanels(app::Services& services, QObject* parent = nullptr);
    ~RecordingPanels() override;

    FaceCameraPanel& faceCamera() { return *faceCamera_; }
    TeleprompterController& teleprompter() { return *teleprompter_; }
    FaceCameraWindow& faceCameraWindow() { return *faceCameraWindow_; }
    TeleprompterWindow& teleprompterWindow() { return *teleprompterWindow_; }
    CameraPreview& preview() { return *preview_; }

    // While a recording's face track records the camera, the preview lets go of the device and shows
    // the frames the track hands it through the returned callback.
    std::function<void(const CameraFrame&)> handCameraToRecording();
    void cameraReleasedByRecording();

    // The application's own top-level windows, created now if they were not yet, so a recording that
    // starts can leave them out even when they appear later (the recording control shows on start).
    static std::vector<std::uint64_t> ownWindowIDs();

Q_SIGNALS:
    void changed();

private:
    void followBubble();

    app::Services& services_;
    std::unique_ptr<FaceCameraPanel> faceCamera_;
    std::unique_ptr<TeleprompterController> teleprompter_;
    std::unique_ptr<CameraPreview> preview_;
    std::unique_ptr<FaceCameraWindow> faceCameraWindow_;
    std::unique_ptr<TeleprompterWindow> teleprompterWindow_;
    Subscription bubbleChanged_;
    Subscription teleprompterChanged_;
    bool cameraHeld_ = false;
};

// The panels' part of the new-recording sheet: show the bubble, show the teleprompter, and its script.
class PanelOptions : public QWidget {
    Q_OBJECT
public:
    PanelOptions(RecordingPanels& panels, QWidget* parent);

private:
    void follow();

    RecordingPanels& panels_;
    QCheckBox* bubble_;
    QCheckBox* teleprompter_;
    QPlainTextEdit* script_;
};

}  // namespace orvane::studio
