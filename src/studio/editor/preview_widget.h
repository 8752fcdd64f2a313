#pragma once

#include <QImage>
#include <QWidget>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "media/decode/frame_decoder.h"
#include "model/scene_render_snapshot.h"

namespace orvane::studio {

// Renders output frames on its own thread with the export's compositor. Only the newest request
// is kept: while a frame renders, newer requests replace each other, so a scrub or playback never
// queues work behind the playhead.
class PreviewRenderer {
public:
    struct Request {
        std::shared_ptr<const SceneRenderSnapshot> snapshot;
        std::filesystem::path recordingFolder;
        double outputTime = 0;
        int width = 0;
        int height = 0;
        std::uint64_t serial = 0;
    };
    // Called on the render thread with how long the frame took; nothing when it could not be drawn.
    using Deliver = std::function<void(const Request&, std::optional<RgbaImage>, double seconds)>;

    explicit PreviewRenderer(Deliver deliver);
    ~PreviewRenderer();
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    void request(Request request);

private:
    void run(std::stop_token stop);

    Deliver deliver_;
    std::mutex mutex_;  // guards pending_
    std::condition_variable_any wake_;
    std::optional<Request> pending_;
    std::jthread thread_;  // last, so it starts after and stops before the members it reads
};

// The frame at the playhead, letterboxed at the export's aspect and drawn by the export's
// compositor at this widget's size in device pixels, so what is seen is what is exported.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // The edit to draw (its aspect decides the frame's shape) and where its clips live.
    void setSource(std::shared_ptr<const SceneRenderSnapshot> snapshot, std::filesystem::path recordingFolder,
                   double aspect);
    // Asks for the frame at an output time.
    void showTime(double outputTime);
    // While playing, frames are asked for as far ahead as rendering one takes, and a frame that
    // arrives after its time has passed is dropped rather than shown late.
    void setPlaying(bool playing);
    // Replaces the picture by a message (a movie that cannot be opened).
    void setMessage(const QString& message);
    QString message() const { return message_; }

    // The size, in device pixels, that frames are rendered at for the current widget size.
    QSize frameSize() const;
    const QImage& frame() const { return frame_; }
    std::optional<double> frameTime() const { return frameTime_; }
    // How many frames were shown and how many arrived too late to be worth showing.
    std::uint64_t framesShown() const { return shown_; }
    std::uint64_t framesDropped() const { return dropped_; }

Q_SIGNALS:
    void frameShown(double outputTime);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void deliver(std::uint64_t serial, double outputTime, QImage image, double seconds);
    void requestCurrent();

    std::shared_ptr<const SceneRenderSnapshot> snapshot_;
    std::filesystem::path folder_;
    double aspect_ = 16.0 / 9.0;
    double time_ = 0;
    bool haveTime_ = false;
    bool playing_ = false;
    double renderSeconds_ = 0;  // recent time to render one frame, smoothed
    std::uint64_t serial_ = 0;
    std::uint64_t shownSerial_ = 0;
    QImage frame_;
    std::optional<double> frameTime_;
    QString message_;
    std::uint64_t shown_ = 0;
    std::uint64_t dropped_ = 0;
    std::unique_ptr<PreviewRenderer> renderer_;  // last: its thread calls back into the members above
};

}  // namespace orvane::studio
