#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/executor.h"
#include "media/decode/frame_decoder.h"
#include "platform/audio_output.h"
#include "playback/preview_coordinator.h"

namespace orvane {

// One picture of the preview, delivered on the main executor.
struct PreviewFrame {
    RgbaImage image;           // premultiplied ARGB32, the requested size
    double time = 0;           // composition time it shows
    bool videoHidden = false;  // the time lies in no filled range
};
using PreviewFrameSink = std::function<void(std::shared_ptr<const PreviewFrame>)>;
// Told on the main executor when lastError() changes: the reason, or empty once a frame draws again.
using PreviewProblemSink = std::function<void(const std::string& problem)>;

struct PreviewPlayerStats {
    std::uint64_t framesShown = 0;
    std::uint64_t framesDropped = 0;  // composed too late, or skipped to catch up with the sound
    std::uint64_t framesComposed = 0;
    double composeCpuSeconds = 0;  // the worker's processor time decoding and composing them
};

// Plays an edit in real time: a worker thread decodes and composes frames with the scene
// compositor at the requested size one frame ahead of the clock, and renders the edit's sound mix
// into an audio output, whose heard position is the clock. A frame whose time has passed is
// dropped rather than shown late, so the picture never falls behind the sound. Without an output
// (no sound server) the steady clock stands in. All methods are called on the main executor;
// frames and ticks arrive there.
class PreviewPlayer final : public PreviewPlayerControl {
public:
    static constexpr double kDefaultFrameRate = 30;

    // `output` may be null; it must outlive the player. Throws AudioSystemError when the output
    // refuses a stream.
    PreviewPlayer(Executor& main, AudioOutput* output, int width, int height, double frameRate = kDefaultFrameRate);
    ~PreviewPlayer() override;
    PreviewPlayer(const PreviewPlayer&) = delete;
    PreviewPlayer& operator=(const PreviewPlayer&) = delete;

    void setFrameSink(PreviewFrameSink sink);
    void setProblemSink(PreviewProblemSink sink);
    // The next frame is drawn at the new size (the view was resized).
    void setRenderSize(int width, int height);
    PreviewPlayerStats stats() const;
    // Whether the view should hide the picture now (the playhead is in a gap); each frame also says.
    bool videoHidden() const;
    // The last problem the worker met (an unreadable file), for the view to show; cleared by the
    // next frame drawn, empty when none.
    std::string lastError() const;

    // PreviewPlayerControl
    void load(std::shared_ptr<const PlaybackBundle> bundle, std::shared_ptr<const SceneRenderSnapshot> scene) override;
    bool isReady() const override;
    double currentTime() const override;
    void seek(double time, double tolerance) override;
    void play(double rate) override;
    void pause() override;
    void setVideoHidden(bool hidden) override;
    void setTimeObserver(TimeObserver observer) override;

private:
    struct Worker;

    Executor& main_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    PreviewFrameSink sink_;
    PreviewProblemSink problemSink_;
    TimeObserver observer_;
    std::unique_ptr<Worker> worker_;
    std::thread thread_;
};

}  // namespace orvane
