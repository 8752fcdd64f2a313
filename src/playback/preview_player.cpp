#include "playback/preview_player.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>
#include <vector>

#include "audio/mix_plan.h"
#include "audio/mix_render.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"
#include "export/frame_sources.h"
#include "export/output_frame.h"
#include "export/render_attempt.h"
#include "model/time_mapping.h"
#include "render/backdrop/caption_render_cache.h"

namespace orvane {

namespace {

using WallClock = std::chrono::steady_clock;

// Sound queued ahead of what is heard: enough to ride out a slow frame, small enough that a pause
// or seek is heard promptly.
constexpr double kAudioLead = 0.2;
constexpr double kTickInterval = 1.0 / 60.0;
// The longest the worker sleeps while playing, so the sound is topped up in time.
constexpr double kMaxSleep = 0.01;
constexpr double kMixChunkSeconds = 0.25;

double strongestZoom(const SceneRenderSnapshot& scene) {
    double scale = 1;
    for (const auto& zoom : scene.edit.timeline.zoomRegions) scale = std::max(scale, zoom.scale);
    return scale;
}

}  // namespace

// What the main executor asks for (under `mutex`) and what the worker thread owns (below it).
struct PreviewPlayer::Worker {
    // --- shared, guarded by mutex ---
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
    std::shared_ptr<const SceneRenderSnapshot> requestedScene;
    std::shared_ptr<const PlaybackBundle> requestedBundle;
    bool sceneChanged = false;
    int requestedWidth = 0;
    int requestedHeight = 0;
    bool sizeChanged = false;
    bool playRequested = false;
    std::optional<double> seekTarget;  // composition time
    bool stillRequested = false;
    std::string lastError;

    // --- read anywhere ---
    std::atomic<double> time{0};  // composition time last reached
    std::atomic<bool> ready{false};
    std::atomic<bool> videoHidden{false};
    std::atomic<std::uint64_t> shown{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> composed{0};
    std::atomic<bool> failed{false};
    std::atomic<double> composeCpu{0};

    // --- set before the thread starts ---
    double fps = PreviewPlayer::kDefaultFrameRate;
    std::unique_ptr<AudioPlaybackStream> stream;
    std::function<void(std::shared_ptr<const PreviewFrame>)> deliverFrame;
    std::function<void(double, bool)> deliverTick;
    std::function<void(std::string)> deliverProblem;

    // --- worker thread only ---
    std::shared_ptr<const SceneRenderSnapshot> scene;
    std::shared_ptr<const PlaybackBundle> bundle;
    int width = 0;
    int height = 0;
    std::unique_ptr<OutputFrameRenderer> renderer;
    std::unique_ptr<ClipFrameProvider> clips;
    DecodeBox decodeBox;
    std::vector<std::unique_ptr<OverlayFrameSource>> overlays;
    std::unique_ptr<MixRenderer> mix;
    double endOutput = 0;           // output time where playing stops
    double anchor = 0;              // output time at which the clock last restarted
    std::size_t mixFrame = 0;       // next mix frame to write, absolute
    std::size_t renderedFrame = 0;  // next mix frame to render, absolute
    std::vector<float> pending;     // rendered, not yet written from pendingOffset on
    std::size_t pendingOffset = 0;
    bool playing = false;
    // The steady clock stands in for the sound's when there is no output.
    std::optional<WallClock::time_point> wallStart;
    double wallHeard = 0;
    double lastComposedOutput = -1;
    std::optional<std::int64_t> lastFrameIndex;
    struct Ahead {
        std::int64_t index = 0;
        std::shared_ptr<PreviewFrame> frame;
    };
    std::optional<Ahead> ahead;
    WallClock::time_point lastTick{};

    void run();
    void rebuild(std::shared_ptr<const SceneRenderSnapshot> nextScene,
                 std::shared_ptr<const PlaybackBundle> nextBundle);
    void rebuildRenderer();
    double outputFor(double compositionTime) const {
        return outputTimeForCompositionTime(compositionTime, 0, scene->edit.timeline.speedRamps);
    }
    double compositionFor(double output) const {
        return compositionTimeForOutputTime(output, 0, scene->edit.timeline.speedRamps);
    }
    double heard() {
        if (stream) return stream->playedSeconds();
        if (!wallStart) return wallHeard;
        return wallHeard + std::chrono::duration<double>(WallClock::now() - *wallStart).count();
    }
    void restartClock(double output);
    void setRunning(bool running);
    void topUpAudio(double clock);
    std::shared_ptr<PreviewFrame> compose(double output);
    void stepPlayback();
    void fail(const std::string& message);
};

void PreviewPlayer::Worker::rebuildRenderer() {
    renderer = std::make_unique<OutputFrameRenderer>(scene, width, height);
    lastComposedOutput = -1;
}

void PreviewPlayer::Worker::rebuild(std::shared_ptr<const SceneRenderSnapshot> nextScene,
                                    std::shared_ptr<const PlaybackBundle> nextBundle) {
    // Decoders are kept across edits that change neither the media nor the size pictures are
    // decoded at (a style edit, a zoom within the strongest one), so most edits cost no reopening.
    const bool mediaChanged = !bundle || !scene || scene->edit.timeline.clips != nextScene->edit.timeline.clips ||
                              scene->edit.overlays != nextScene->edit.overlays;
    scene = std::move(nextScene);
    bundle = std::move(nextBundle);
    rebuildRenderer();
    const double frameDuration = 1.0 / fps;
    const DecodeBox box = recordingDecodeBox(*scene, width, height, strongestZoom(*scene));
    if (mediaChanged || !clips || box.width != decodeBox.width || box.height != decodeBox.height) {
        decodeBox = box;
        clips = std::make_unique<ClipFrameProvider>(*scene, frameDuration, DecodeOptions{box.width, box.height, 2});
        overlays.clear();
        for (const auto& clip : scene->edit.overlays.videoOverlays) {
            overlays.push_back(
                std::make_unique<OverlayFrameSource>(clip, frameDuration, DecodeOptions{width, height, 1}));
        }
    }
    mix = std::make_unique<MixRenderer>(*scene);
    const double playEnd = std::min(bundle->playbackEnd(), scene->edit.timeline.trimEnd);
    endOutput = outputFor(playEnd);
    ready = true;
}

void PreviewPlayer::Worker::restartClock(double output) {
    anchor = output;
    mixFrame = renderedFrame = static_cast<std::size_t>(std::llround(std::max(output, 0.0) * kMixSampleRate));
    pending.clear();
    pendingOffset = 0;
    if (stream) stream->flush();
    wallHeard = 0;
    if (wallStart) wallStart = WallClock::now();
    lastFrameIndex.reset();
    ahead.reset();
}

void PreviewPlayer::Worker::setRunning(bool running) {
    if (running == playing) return;
    playing = running;
    if (stream) {
        if (running) topUpAudio(anchor + heard());
        stream->setPaused(!running);
    } else if (running) {
        wallStart = WallClock::now();
    } else if (wallStart) {
        wallHeard += std::chrono::duration<double>(WallClock::now() - *wallStart).count();
        wallStart.reset();
    }
}

void PreviewPlayer::Worker::topUpAudio(double clock) {
    if (!stream || !mix) return;
    const auto endFrame = static_cast<std::size_t>(std::llround(endOutput * kMixSampleRate));
    const auto wanted = static_cast<std::size_t>(std::llround((clock + kAudioLead) * kMixSampleRate));
    while (mixFrame < wanted) {
        if (pendingOffset >= pending.size()) {
            // Each render opens and seeks its inputs, so the mix is made in long pieces and handed to
            // the server in whatever sizes it takes.
            pending.clear();
            pendingOffset = 0;
            const auto chunk = static_cast<std::size_t>(kMixChunkSeconds * kMixSampleRate);
            if (renderedFrame < endFrame) {
                const std::size_t count = std::min(chunk, endFrame - renderedFrame);
                pending = mix->render(renderedFrame, count).samples;
                pending.resize(count * kMixChannels, 0.0f);
                renderedFrame += count;
            } else {
                // Silence past the end pushes the last sound out of the server's start-up buffer.
                pending.assign(chunk * kMixChannels, 0.0f);
                renderedFrame += chunk;
            }
        }
        const std::size_t available = (pending.size() - pendingOffset) / kMixChannels;
        const std::size_t count = std::min(wanted - mixFrame, available);
        stream->write(std::span<const float>(pending).subspan(pendingOffset, count * kMixChannels));
        pendingOffset += count * kMixChannels;
        mixFrame += count;
    }
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::shared_ptr<PreviewFrame> PreviewPlayer::Worker::compose(double output) {
    // Processor time, unlike wall time, says what a frame costs however busy the machine is.
    const double cpuBefore = threadCpuSeconds();
    const double c = compositionFor(output);
    // Captions are looked up forwards only: a step back onto an earlier caption needs a renderer of
    // its own, while a step back within the caption already shown (most of a drag) does not.
    if (output < lastComposedOutput) {
        const auto& captions = scene->edit.captions.captions;
        const auto showing = captionIndexShowing(captions, c);
        if (showing && showing != captionIndexShowing(captions, compositionFor(lastComposedOutput))) rebuildRenderer();
    }
    lastComposedOutput = output;
    DecodedFrame source;
    double sourceTime = 0;
    if (auto frame = clips->frameAt(c)) {
        source = std::move(frame->image);
        sourceTime = frame->sourceTime;
    }
    std::vector<DecodedFrame> pictures;
    std::vector<cairo::Surface> surfaces;
    std::vector<OverlayFrame> overlayFrames;
    for (auto& overlay : overlays) {
        const auto mediaTime = mediaTimeAt(overlay->clip(), c);
        if (!mediaTime) continue;
        auto picture = overlay->frameAt(*mediaTime);
        if (!picture) continue;
        surfaces.push_back(surfaceForImage(picture->image));
        overlayFrames.push_back(OverlayFrame{overlay->clip(), surfaces.back().get()});
        pictures.push_back(std::move(picture));
    }
    cairo::Surface sourceSurface;
    if (source) sourceSurface = surfaceForImage(source->image);
    auto image = renderer->render(output, sourceSurface.get(), sourceTime, overlayFrames);
    if (!image) throw std::runtime_error("The preview frame could not be drawn");
    auto frame = std::make_shared<PreviewFrame>();
    frame->image = std::move(*image);
    frame->time = c;
    frame->videoHidden = !isFilled(bundle->filledRanges, c);
    composed += 1;
    if (failed.exchange(false)) {
        {
            std::lock_guard lock(mutex);
            lastError.clear();  // the problem is behind the playhead now
        }
        deliverProblem({});
    }
    composeCpu = composeCpu + (threadCpuSeconds() - cpuBefore);
    return frame;
}

void PreviewPlayer::Worker::stepPlayback() {
    const double clock = anchor + heard();
    if (clock >= endOutput) {
        setRunning(false);
        {
            std::lock_guard lock(mutex);
            playRequested = false;
        }
        const double c = compositionFor(endOutput);
        time = c;
        deliverTick(c, false);
        return;
    }
    topUpAudio(clock);
    const auto now = WallClock::now();
    if (std::chrono::duration<double>(now - lastTick).count() >= kTickInterval) {
        lastTick = now;
        const double c = compositionFor(clock);
        time = c;
        deliverTick(c, true);
    }

    const double frameDuration = 1.0 / fps;
    if (!ahead) {
        auto index = static_cast<std::int64_t>(std::floor(clock * fps));
        if (lastFrameIndex) {
            // Frames the clock passed while the last one was drawn are not drawn at all.
            if (index > *lastFrameIndex + 1) dropped += static_cast<std::uint64_t>(index - *lastFrameIndex - 1);
            index = std::max(index, *lastFrameIndex + 1);
        }
        ahead = Ahead{index, compose(static_cast<double>(index) * frameDuration)};
    }
    const double frameTime = static_cast<double>(ahead->index) * frameDuration;
    const double current = anchor + heard();
    if (current >= frameTime + frameDuration) {
        ++dropped;  // its time is over: showing it now would put the picture behind the sound
        lastFrameIndex = ahead->index;
        ahead.reset();
        return;
    }
    if (current >= frameTime) {
        ++shown;
        lastFrameIndex = ahead->index;
        deliverFrame(std::move(ahead->frame));
        ahead.reset();
        return;
    }
    const double wait = std::min(frameTime - current, kMaxSleep);
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::duration<double>(wait),
                  [&] { return quit || sceneChanged || sizeChanged || seekTarget || !playRequested; });
}

void PreviewPlayer::Worker::fail(const std::string& message) {
    log::error(log_area::kEditor, "preview stopped: %s", message.c_str());
    {
        std::lock_guard lock(mutex);
        lastError = message;
        playRequested = false;
    }
    failed = true;
    if (playing) setRunning(false);
    deliverProblem(message);
    deliverTick(time, false);
}

void PreviewPlayer::Worker::run() {
    setCurrentThreadName("orvane.preview");
    for (;;) {
        std::optional<double> seek;
        bool reload = false;
        bool resize = false;
        bool wantPlay = false;
        bool still = false;
        std::shared_ptr<const SceneRenderSnapshot> nextScene;
        std::shared_ptr<const PlaybackBundle> nextBundle;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] {
                // While playing, the loop keeps turning; stepPlayback() does the waiting.
                return quit || playing || sceneChanged || sizeChanged || seekTarget || stillRequested ||
                       playRequested != playing;
            });
            if (quit) break;
            if (!playing && !playRequested && !sceneChanged && !sizeChanged && !seekTarget && !stillRequested) continue;
            reload = std::exchange(sceneChanged, false) && requestedScene && requestedBundle;
            if (reload) {
                nextScene = requestedScene;
                nextBundle = requestedBundle;
            }
            resize = std::exchange(sizeChanged, false);
            if (resize) {
                width = requestedWidth;
                height = requestedHeight;
            }
            seek = std::exchange(seekTarget, std::nullopt);
            still = std::exchange(stillRequested, false);
            wantPlay = playRequested;
        }
        try {
            if (reload) {
                rebuild(std::move(nextScene), std::move(nextBundle));
                still = true;
            } else if (resize && scene) {
                rebuild(scene, bundle);
                still = true;
            }
            if (!scene) continue;
            if (seek) {
                restartClock(outputFor(*seek));
                time = *seek;
                still = true;
            }
            if (wantPlay != playing) {
                if (wantPlay && anchor + heard() >= endOutput) {
                    // Nothing left to play: report the end rather than start.
                    std::lock_guard lock(mutex);
                    playRequested = false;
                    wantPlay = false;
                    deliverTick(time, false);
                } else {
                    setRunning(wantPlay);
                }
            }
            if (playing) {
                stepPlayback();
            } else if (still) {
                // Paused: show the frame at the playhead at once (a seek, a scrub, an edit).
                const double output = outputFor(time);
                auto frame = compose(output);
                ++shown;
                deliverFrame(std::move(frame));
            }
        } catch (const std::exception& error) {
            fail(error.what());
        }
    }
    if (stream && playing) stream->setPaused(true);
}

PreviewPlayer::PreviewPlayer(Executor& main, AudioOutput* output, int width, int height, double frameRate)
    : main_(main), worker_(std::make_unique<Worker>()) {
    worker_->fps = frameRate > 0 ? frameRate : kDefaultFrameRate;
    worker_->width = worker_->requestedWidth = std::max(width, 1);
    worker_->height = worker_->requestedHeight = std::max(height, 1);
    if (output) worker_->stream = output->openPlayback(AudioOutputFormat{kMixSampleRate, kMixChannels});
    std::weak_ptr<bool> alive = alive_;
    worker_->deliverFrame = [this, alive](std::shared_ptr<const PreviewFrame> frame) {
        main_.post([this, alive, frame = std::move(frame)] {
            if (alive.lock() && sink_) sink_(frame);
        });
    };
    worker_->deliverTick = [this, alive](double time, bool playing) {
        main_.post([this, alive, time, playing] {
            if (alive.lock() && observer_) observer_(time, playing);
        });
    };
    worker_->deliverProblem = [this, alive](std::string problem) {
        main_.post([this, alive, problem = std::move(problem)] {
            if (alive.lock() && problemSink_) problemSink_(problem);
        });
    };
    thread_ = std::thread([worker = worker_.get()] { worker->run(); });
}

PreviewPlayer::~PreviewPlayer() {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->quit = true;
    }
    worker_->wake.notify_all();
    thread_.join();
}

void PreviewPlayer::setFrameSink(PreviewFrameSink sink) { sink_ = std::move(sink); }

void PreviewPlayer::setProblemSink(PreviewProblemSink sink) { problemSink_ = std::move(sink); }

void PreviewPlayer::setRenderSize(int width, int height) {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->requestedWidth = std::max(width, 1);
        worker_->requestedHeight = std::max(height, 1);
        worker_->sizeChanged = true;
    }
    worker_->wake.notify_all();
}

bool PreviewPlayer::videoHidden() const { return worker_->videoHidden; }

PreviewPlayerStats PreviewPlayer::stats() const {
    return {worker_->shown.load(), worker_->dropped.load(), worker_->composed.load(), worker_->composeCpu.load()};
}

std::string PreviewPlayer::lastError() const {
    std::lock_guard lock(worker_->mutex);
    return worker_->lastError;
}

void PreviewPlayer::load(std::shared_ptr<const PlaybackBundle> bundle,
                         std::shared_ptr<const SceneRenderSnapshot> scene) {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->requestedBundle = std::move(bundle);
        worker_->requestedScene = std::move(scene);
        worker_->sceneChanged = true;
    }
    worker_->wake.notify_all();
}

bool PreviewPlayer::isReady() const { return worker_->ready; }

double PreviewPlayer::currentTime() const { return worker_->time; }

void PreviewPlayer::seek(double time, double) {
    // Every seek lands exactly: the compositor draws any frame, so tolerance buys nothing here.
    {
        std::lock_guard lock(worker_->mutex);
        worker_->seekTarget = time;  // replaces one the worker has not reached yet
    }
    worker_->time = time;
    worker_->wake.notify_all();
}

void PreviewPlayer::play(double) {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->playRequested = true;
    }
    worker_->wake.notify_all();
}

void PreviewPlayer::pause() {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->playRequested = false;
    }
    worker_->wake.notify_all();
}

void PreviewPlayer::setVideoHidden(bool hidden) { worker_->videoHidden = hidden; }

void PreviewPlayer::setTimeObserver(TimeObserver observer) { observer_ = std::move(observer); }

}  // namespace orvane
