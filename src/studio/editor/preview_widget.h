#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

namespace orvane {
class PreviewPlayer;
struct PreviewFrame;
}  // namespace orvane

namespace orvane::studio {

// Shows the preview player's pictures, letterboxed at the export's aspect. The player draws at
// this widget's size in device pixels with the export's compositor, so what is seen is what is
// exported, and a resize asks it for pictures of the new size.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // The player whose frames are shown; it must outlive this widget or be detached with null.
    void attach(PreviewPlayer* player);
    // The exported frame's width over its height.
    void setAspect(double aspect);
    // Replaces the picture by a message (a movie that cannot be opened, a clip that cannot be
    // read); empty shows the picture again.
    void setMessage(const QString& message);
    QString message() const { return message_; }

    // The size, in device pixels, that frames are drawn at for the current widget size.
    QSize frameSize() const;
    const QImage& frame() const { return frame_; }
    // The composition time of the frame shown.
    std::optional<double> frameTime() const { return frameTime_; }
    std::uint64_t framesShown() const { return shown_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void show(const PreviewFrame& frame);
    void sendSize();

    PreviewPlayer* player_ = nullptr;
    double aspect_ = 16.0 / 9.0;
    QSize sentSize_;
    QImage frame_;
    std::optional<double> frameTime_;
    QString message_;
    std::uint64_t shown_ = 0;
};

}  // namespace orvane::studio
