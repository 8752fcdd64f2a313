#include "studio/editor/preview_widget.h"

#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

#include <pthread.h>

#include <chrono>
#include <cmath>

#include "base/log.h"
#include "base/log_areas.h"
#include "studio/editor/preview_frames.h"

namespace orvane::studio {

PreviewRenderer::PreviewRenderer(Deliver deliver)
    : deliver_(std::move(deliver)), thread_([this](std::stop_token stop) { run(stop); }) {}

PreviewRenderer::~PreviewRenderer() {
    thread_.request_stop();
    wake_.notify_all();
}

void PreviewRenderer::request(Request request) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(request);
    }
    wake_.notify_one();
}

void PreviewRenderer::run(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "orvane.preview");
    PreviewFrames frames;
    for (;;) {
        Request request;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return pending_.has_value(); })) return;
            request = std::move(*pending_);
            pending_.reset();
        }
        std::optional<RgbaImage> image;
        const auto began = std::chrono::steady_clock::now();
        try {
            image = frames.render(request.snapshot, request.recordingFolder, request.outputTime, request.width,
                                  request.height);
        } catch (const std::exception& e) {
            // A damaged frame must not end the preview; the next request may well draw.
            log::warning(log_area::kStudio, "preview frame at %.3f s failed: %s", request.outputTime, e.what());
        }
        if (stop.stop_requested()) return;
        deliver_(request, std::move(image),
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    }
}

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setAccessibleName("Preview");
    setMinimumSize(320, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPointer<PreviewWidget> self(this);
    renderer_ = std::make_unique<PreviewRenderer>(
        [self](const PreviewRenderer::Request& request, std::optional<RgbaImage> image, double seconds) {
            QImage picture;
            if (image) {
                // Cairo's ARGB32 is Qt's premultiplied ARGB32; copied because the pixels die with `image`.
                picture = QImage(image->pixels.data(), image->width, image->height, image->stride,
                                 QImage::Format_ARGB32_Premultiplied)
                              .copy();
            }
            // Queued to the widget's thread; Qt drops the call when the widget is gone by then.
            QMetaObject::invokeMethod(
                self.data(),
                [self, serial = request.serial, time = request.outputTime, picture = std::move(picture),
                 seconds]() mutable {
                    if (self) self->deliver(serial, time, std::move(picture), seconds);
                },
                Qt::QueuedConnection);
        });
}

PreviewWidget::~PreviewWidget() { renderer_.reset(); }

void PreviewWidget::setSource(std::shared_ptr<const SceneRenderSnapshot> snapshot,
                              std::filesystem::path recordingFolder, double aspect) {
    snapshot_ = std::move(snapshot);
    folder_ = std::move(recordingFolder);
    if (aspect > 0 && std::isfinite(aspect)) aspect_ = aspect;
    requestCurrent();
}

void PreviewWidget::showTime(double outputTime) {
    time_ = outputTime;
    haveTime_ = true;
    requestCurrent();
}

void PreviewWidget::setPlaying(bool playing) { playing_ = playing; }

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

void PreviewWidget::requestCurrent() {
    if (!snapshot_ || !haveTime_ || !message_.isEmpty()) return;
    const QSize size = frameSize();
    const double time = playing_ ? time_ + renderSeconds_ : time_;
    renderer_->request({snapshot_, folder_, time, size.width(), size.height(), ++serial_});
}

void PreviewWidget::deliver(std::uint64_t serial, double outputTime, QImage image, double seconds) {
    renderSeconds_ = renderSeconds_ == 0 ? seconds : 0.8 * renderSeconds_ + 0.2 * seconds;
    // Older than a frame already shown, or (playing) more than a frame behind the playhead: late.
    constexpr double kLateBy = 1.0 / 30;
    const bool late = serial < shownSerial_ || (playing_ && outputTime < time_ - kLateBy);
    if (late || image.isNull()) {
        ++dropped_;
        return;
    }
    shownSerial_ = serial;
    image.setDevicePixelRatio(devicePixelRatioF());
    frame_ = std::move(image);
    frameTime_ = outputTime;
    ++shown_;
    update();
    Q_EMIT frameShown(outputTime);
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
    requestCurrent();
}

}  // namespace orvane::studio
