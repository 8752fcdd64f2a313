#include "studio/editor/preview_widget.h"

#include <QPainter>
#include <QResizeEvent>

#include <cmath>

#include "playback/preview_player.h"

namespace orvane::studio {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setAccessibleName("Preview");
    setMinimumSize(320, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PreviewWidget::~PreviewWidget() { attach(nullptr); }

void PreviewWidget::attach(PreviewPlayer* player) {
    if (player_) player_->setFrameSink({});
    player_ = player;
    sentSize_ = {};
    if (!player_) return;
    // Frames arrive on the main loop, which runs inside Qt's: no hop is needed.
    player_->setFrameSink([this](std::shared_ptr<const PreviewFrame> frame) {
        if (frame) show(*frame);
    });
    sendSize();
}

void PreviewWidget::setAspect(double aspect) {
    if (!(aspect > 0) || !std::isfinite(aspect) || aspect == aspect_) return;
    aspect_ = aspect;
    sendSize();
}

void PreviewWidget::setMessage(const QString& message) {
    message_ = message;
    update();
}

QSize PreviewWidget::frameSize() const {
    const double ratio = devicePixelRatioF();
    const double width = std::max(1.0, this->width() * ratio);
    const double height = std::max(1.0, this->height() * ratio);
    double w = width;
    double h = width / aspect_;
    if (h > height) {
        h = height;
        w = height * aspect_;
    }
    // Even sides, as the export's sizes are.
    return {std::max(2, static_cast<int>(w) & ~1), std::max(2, static_cast<int>(h) & ~1)};
}

void PreviewWidget::sendSize() {
    const QSize size = frameSize();
    if (!player_ || size == sentSize_) return;
    sentSize_ = size;
    player_->setRenderSize(size.width(), size.height());
}

void PreviewWidget::show(const PreviewFrame& frame) {
    const RgbaImage& image = frame.image;
    // Cairo's ARGB32 is Qt's premultiplied ARGB32; copied because the player's pixels are shared.
    frame_ = QImage(image.pixels.data(), image.width, image.height, image.stride, QImage::Format_ARGB32_Premultiplied)
                 .copy();
    frame_.setDevicePixelRatio(devicePixelRatioF());
    frameTime_ = frame.time;
    ++shown_;
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x16, 0x16, 0x18));
    if (!message_.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(24, 24, -24, -24), Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    if (frame_.isNull()) return;
    const QSizeF logical = frame_.deviceIndependentSize();
    const QPointF origin((width() - logical.width()) / 2, (height() - logical.height()) / 2);
    painter.drawImage(origin, frame_);
}

void PreviewWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    sendSize();
}

}  // namespace orvane::studio
