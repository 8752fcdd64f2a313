#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "base/executor.h"
#include "base/signal.h"
#include "base/uuid.h"
#include "playback/playback_bundle.h"

namespace orvane {

class EditorState;
struct SceneRenderSnapshot;

// What the preview asks of a player. Every call comes from the main executor.
class PreviewPlayerControl {
public:
    // Called on the main executor about 60 times a second while the player has something to say:
    // its time (composition seconds) and whether it is still playing (false once it reached the end).
    using TimeObserver = std::function<void(double time, bool playing)>;

    virtual ~PreviewPlayerControl() = default;

    // The edit to show. `bundle` changes only when the playable media do; `scene` on every edit.
    virtual void load(std::shared_ptr<const PlaybackBundle> bundle,
                      std::shared_ptr<const SceneRenderSnapshot> scene) = 0;
    virtual bool isReady() const = 0;
    virtual double currentTime() const = 0;
    // Drops any seek not done yet and moves to `time`, landing within `tolerance` seconds of it.
    virtual void seek(double time, double tolerance) = 0;
    virtual void play(double rate) = 0;
    virtual void pause() = 0;
    // Hides the picture where no clip supplies video (a head gap), without animation.
    virtual void setVideoHidden(bool hidden) = 0;
    virtual void setTimeObserver(TimeObserver observer) = 0;
};

// Ties one preview player to the editor state: the player's ticks drive the playhead, the editor's
// playing flag and seek requests drive the player, and the timeline's scrubbing moves the picture
// without flooding the player with seeks. Lives on the main executor, as EditorState does.
class PreviewCoordinator {
public:
    static constexpr double kInteractiveSeekInterval = 1.0 / 30.0;
    // After a seek request, ticks still carrying the old position are ignored this long.
    static constexpr Duration kSeekSettleTime = std::chrono::milliseconds(250);

    // Builds the scene the player draws from the editor; production passes makeSceneRenderSnapshot.
    using SceneBuilder = std::function<std::shared_ptr<const SceneRenderSnapshot>(const EditorState&)>;

    PreviewCoordinator(EditorState& state, PreviewPlayerControl& player, Executor& main, HasAudioProbe hasAudio,
                       SceneBuilder sceneBuilder = {});
    ~PreviewCoordinator();
    PreviewCoordinator(const PreviewCoordinator&) = delete;
    PreviewCoordinator& operator=(const PreviewCoordinator&) = delete;

    void beginScrub(bool resumeAfterwards);
    void scrub(double time);
    // Finishes the scrub on the next turn of the main loop, unless a newer scrub began meanwhile.
    void endScrub();

    // The player's tick; the player's observer calls it.
    void playerTick(double time, bool playing);

    bool isUserScrubbing() const { return isUserScrubbing_; }
    const std::shared_ptr<const PlaybackBundle>& bundle() const { return bundle_; }
    std::uint64_t interactiveSeekGeneration() const { return interactiveSeekGeneration_; }
    std::optional<double> interactiveSeekTargetTime() const { return interactiveSeekTargetTime_; }

private:
    void onEditorChanged();
    void reloadIfNeeded();
    void requestInteractiveSeek(double time, bool tolerant);
    void issuePendingSeek();
    void dispatchPlaying(bool playing);
    void finishScrub(std::uint64_t generation);

    EditorState& state_;
    PreviewPlayerControl& player_;
    Executor& main_;
    HasAudioProbe hasAudio_;
    SceneBuilder sceneBuilder_;
    Subscription subscription_;

    std::optional<PlaybackSnapshot> snapshot_;
    std::shared_ptr<const PlaybackBundle> bundle_;
    bool sceneStale_ = true;

    bool isUserScrubbing_ = false;
    bool resumeAfterInteractiveSeek_ = false;
    SteadyTime ignorePlayerTicksUntil_ = SteadyTime::min();
    bool lastDispatchedPlaying_ = false;
    std::uint64_t interactiveSeekGeneration_ = 0;
    std::optional<double> interactiveSeekTargetTime_;
    SteadyTime lastInteractiveSeekIssuedAt_ = SteadyTime::min();
    std::optional<double> pendingInteractiveSeekTime_;
    bool pendingInteractiveSeekIsTolerant_ = false;
    std::optional<TimerHandle> pendingInteractiveSeekWork_;
    std::optional<Uuid> lastHandledSeekRequestID_;
    // Ends any callback posted by this object once it is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orvane
