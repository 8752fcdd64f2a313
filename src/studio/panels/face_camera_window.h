#pragma once

#include <QPoint>
#include <QWidget>

#include "base/signal.h"
#include "recording/panels/face_camera_panel.h"

namespace orvane::studio {

class CameraPreview;

// The face-camera bubble: a frameless window above the others showing the live camera, cut to the
// panel's circle or rounded rectangle. It follows its FaceCameraPanel (frame, shape, mirror and
// visibility) and reports the user's moves back to it; dragging moves it, the context menu sets
// size, shape and mirroring. Frames are in the desktop's pixels, as the capture counts them.
class FaceCameraWindow : public QWidget {
    Q_OBJECT
public:
    FaceCameraWindow(FaceCameraPanel& panel, CameraPreview& preview);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void followPanel();
    void reportFrame();
    QRectF desktopToLogical(const Rect& frame) const;
    Rect logicalToDesktop(const QRect& frame) const;

    FaceCameraPanel& panel_;
    CameraPreview& preview_;
    Subscription panelChanged_;
    bool following_ = false;  // our own geometry change, not the user's
    QPoint dragOffset_;
    bool dragging_ = false;
};

}  // namespace orvane::studio
