#include "studio/panels/face_camera_window.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "studio/panels/camera_preview.h"

namespace orvane::studio {

namespace {

QPainterPath maskPath(const FaceCameraMask& mask, double scale) {
    const QRectF rect(mask.maskRect.x / scale, mask.maskRect.y / scale, mask.maskRect.width / scale,
                      mask.maskRect.height / scale);
    QPainterPath path;
    if (mask.circular) {
        path.addEllipse(rect);
    } else {
        path.addRoundedRect(rect, mask.maskCornerRadius / scale, mask.maskCornerRadius / scale);
    }
    return path;
}

}  // namespace

FaceCameraWindow::FaceCameraWindow(FaceCameraPanel& panel, CameraPreview& preview)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      panel_(panel),
      preview_(preview) {
    setObjectName("faceCameraBubble");
    setAccessibleName("Face camera");
    setWindowTitle("Face camera");
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(static_cast<int>(FaceCameraPanel::kMinimumWidth), static_cast<int>(FaceCameraPanel::kMinimumHeight));
    connect(&preview_, &CameraPreview::changed, this, qOverload<>(&QWidget::update));
    panelChanged_ = panel_.changed.subscribe([this] { followPanel(); });
    panel_.applyShape();
    followPanel();
}

QRectF FaceCameraWindow::desktopToLogical(const Rect& frame) const {
    const double scale = devicePixelRatioF();
    return {frame.x / scale, frame.y / scale, frame.width / scale, frame.height / scale};
}

Rect FaceCameraWindow::logicalToDesktop(const QRect& frame) const {
    const double scale = devicePixelRatioF();
    return Rect{frame.x() * scale, frame.y() * scale, frame.width() * scale, frame.height() * scale};
}

void FaceCameraWindow::followPanel() {
    following_ = true;
    const QRect wanted = desktopToLogical(panel_.screenFrame()).toAlignedRect();
    if (geometry() != wanted) setGeometry(wanted);
    // The shape also decides where the window takes clicks: outside the bubble they reach what is below.
    setMask(QRegion(maskPath(panel_.mask(), devicePixelRatioF()).toFillPolygon().toPolygon()));
    following_ = false;
    if (panel_.isVisible() && !isVisible()) show();
    if (!panel_.isVisible() && isVisible()) hide();
    update();
}

void FaceCameraWindow::reportFrame() {
    if (following_ || !isVisible()) return;
    const Rect frame = logicalToDesktop(geometry());
    if (frame == panel_.screenFrame()) return;
    panel_.setScreenFrame(frame);
}

void FaceCameraWindow::moveEvent(QMoveEvent*) { reportFrame(); }
void FaceCameraWindow::resizeEvent(QResizeEvent*) { reportFrame(); }

void FaceCameraWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = maskPath(panel_.mask(), devicePixelRatioF());
    painter.setClipPath(path);
    const QImage& frame = preview_.frame();
    if (frame.isNull()) {
        painter.fillRect(rect(), QColor(0x24, 0x26, 0x2b));
        painter.setPen(QColor(0xd8, 0xda, 0xe0));
        const QString text = preview_.statusText().isEmpty() ? QString("Camera off") : preview_.statusText();
        painter.drawText(path.boundingRect(), Qt::AlignCenter | Qt::TextWordWrap, text);
        return;
    }
    // Fill the bubble, cropping the picture's longer side, as a video call does.
    const QRectF bounds = path.boundingRect();
    const double scale = std::max(bounds.width() / frame.width(), bounds.height() / frame.height());
    const QSizeF drawn(frame.width() * scale, frame.height() * scale);
    const QRectF target(bounds.center().x() - drawn.width() / 2, bounds.center().y() - drawn.height() / 2,
                        drawn.width(), drawn.height());
    if (panel_.isFlipped()) {
        painter.translate(bounds.center().x() * 2, 0);
        painter.scale(-1, 1);
    }
    painter.drawImage(target, frame);
}

void FaceCameraWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void FaceCameraWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void FaceCameraWindow::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void FaceCameraWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const Rect frame = panel_.screenFrame();
    auto resizeTo = [this, frame](double width, double height) {
        // Grows and shrinks around the bubble's centre, so it stays where the user put it.
        panel_.setScreenFrame(
            Rect{frame.x + (frame.width - width) / 2, frame.y + (frame.height - height) / 2, width, height});
    };
    menu.addAction("Small",
                   [resizeTo, this] { resizeTo(panel_.isCircular() ? 220 : 240, panel_.isCircular() ? 220 : 180); });
    menu.addAction("Medium",
                   [resizeTo, this] { resizeTo(panel_.isCircular() ? 300 : 320, panel_.isCircular() ? 300 : 240); });
    menu.addAction("Large",
                   [resizeTo, this] { resizeTo(panel_.isCircular() ? 400 : 480, panel_.isCircular() ? 400 : 360); });
    menu.addSeparator();
    menu.addAction("Circle", [this] { panel_.setCornerRadius(FaceCameraPanel::kCircularRadius); });
    menu.addAction("Rounded Rectangle", [this] { panel_.setCornerRadius(FaceCameraPanel::kDefaultCornerRadius); });
    QAction* mirror = menu.addAction("Mirror", [this](bool on) { panel_.setFlipped(on); });
    mirror->setCheckable(true);
    mirror->setChecked(panel_.isFlipped());
    menu.exec(event->globalPos());
}

}  // namespace orvane::studio
