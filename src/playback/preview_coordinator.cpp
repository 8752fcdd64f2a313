#include "playback/preview_coordinator.h"

#include <cmath>

#include "editor/editor_state.h"

namespace orvane {

namespace {

Duration seconds(double s) { return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s)); }

}  // namespace

PreviewCoordinator::PreviewCoordinator(EditorState& state, PreviewPlayerControl& player, Executor& main,
                                       HasAudioProbe hasAudio, SceneBuilder sceneBuilder)
    : state_(state),
      player_(player),
      main_(main),
      hasAudio_(std::move(hasAudio)),
      sceneBuilder_(std::move(sceneBuilder)) {
    lastHandledSeekRequestID_ = state_.values().seekRequestID;  // a request made before the preview opened is stale
    player_.setTimeObserver([this, alive = std::weak_ptr<bool>(alive_)](double time, bool playing) {
        if (alive.lock()) playerTick(time, playing);
    });
    subscription_ = state_.changed.subscribe([this](const EditorChange& change) {
        // Everything the player draws or plays is stored in the sidecar; the playhead is not.
        if (change.persisted) {
            sceneStale_ = true;
            reloadIfNeeded();
        }
        onEditorChanged();
    });
    reloadIfNeeded();
}

PreviewCoordinator::~PreviewCoordinator() {
    if (pendingInteractiveSeekWork_) pendingInteractiveSeekWork_->cancel();
    player_.setTimeObserver({});
}

void PreviewCoordinator::reloadIfNeeded() {
    auto snapshot = makePlaybackSnapshot(state_.values());
    const bool bundleStale = !snapshot_ || *snapshot_ != snapshot;
    if (!bundleStale && !sceneStale_) return;
    if (bundleStale) {
        bundle_ = std::make_shared<const PlaybackBundle>(buildPlaybackBundle(snapshot, hasAudio_));
        snapshot_ = std::move(snapshot);
    }
    sceneStale_ = false;
    player_.load(bundle_, sceneBuilder_ ? sceneBuilder_(state_) : nullptr);
}

void PreviewCoordinator::onEditorChanged() {
    const EditorValues& v = state_.values();
    if (v.seekRequestID && v.seekRequestID != lastHandledSeekRequestID_) {
        lastHandledSeekRequestID_ = v.seekRequestID;
        // Ticks already on their way carry the old position and would pull the playhead back.
        ignorePlayerTicksUntil_ = main_.now() + kSeekSettleTime;
        player_.setVideoHidden(!isFilled(bundle_->filledRanges, state_.requestedSeekTime));
        player_.seek(state_.requestedSeekTime, 0);
    }
    if (!isUserScrubbing_ && v.isPlaying != lastDispatchedPlaying_) dispatchPlaying(v.isPlaying);
}

void PreviewCoordinator::dispatchPlaying(bool playing) {
    lastDispatchedPlaying_ = playing;
    if (!playing) {
        player_.pause();
        return;
    }
    // Play from the start again once the end was reached, as the play button promises.
    if (player_.currentTime() >= bundle_->playbackEnd()) {
        player_.setVideoHidden(!isFilled(bundle_->filledRanges, 0));
        player_.seek(0, 0);
    }
    player_.play(1.0);
}

void PreviewCoordinator::playerTick(double time, bool playing) {
    if (isUserScrubbing_ || pendingInteractiveSeekWork_) return;
    // The player stopping at the end is news even right after a seek; a position alone may be stale.
    const bool stopped = lastDispatchedPlaying_ && !playing;
    if (!stopped && main_.now() < ignorePlayerTicksUntil_) return;
    player_.setVideoHidden(!isFilled(bundle_->filledRanges, time));
    if (stopped) lastDispatchedPlaying_ = false;
    state_.modify([&](EditorValues& v) {
        v.currentTime = time;
        if (stopped) v.isPlaying = false;
    });
}

void PreviewCoordinator::beginScrub(bool resumeAfterwards) {
    ++interactiveSeekGeneration_;
    isUserScrubbing_ = true;
    resumeAfterInteractiveSeek_ = resumeAfterwards;
    ignorePlayerTicksUntil_ = SteadyTime::min();
    interactiveSeekTargetTime_.reset();
    pendingInteractiveSeekTime_.reset();
    if (pendingInteractiveSeekWork_) pendingInteractiveSeekWork_->cancel();
    pendingInteractiveSeekWork_.reset();
    if (resumeAfterwards) {
        state_.modify([](EditorValues& v) { v.isPlaying = true; });
        lastDispatchedPlaying_ = true;
    } else {
        player_.pause();
        state_.modify([](EditorValues& v) { v.isPlaying = false; });
        lastDispatchedPlaying_ = false;
    }
}

void PreviewCoordinator::scrub(double time) {
    ++interactiveSeekGeneration_;
    interactiveSeekTargetTime_ = time;
    player_.setVideoHidden(!isFilled(bundle_->filledRanges, time));
    state_.modify([&](EditorValues& v) {
        v.currentTime = time;
        if (resumeAfterInteractiveSeek_) v.isPlaying = true;
    });
    // While playing on, landing near the target is enough; a paused scrub shows the exact frame.
    requestInteractiveSeek(time, resumeAfterInteractiveSeek_);
}

void PreviewCoordinator::requestInteractiveSeek(double time, bool tolerant) {
    pendingInteractiveSeekTime_ = time;
    pendingInteractiveSeekIsTolerant_ = tolerant;
    const auto interval = seconds(kInteractiveSeekInterval);
    // Before the first seek there is no "since": min() is far enough back to overflow the difference.
    const bool seekedBefore = lastInteractiveSeekIssuedAt_ != SteadyTime::min();
    const auto sinceLast = seekedBefore ? main_.now() - lastInteractiveSeekIssuedAt_ : interval;
    if (seekedBefore && sinceLast < interval) {
        if (pendingInteractiveSeekWork_) return;  // the scheduled item will take the newest target
        pendingInteractiveSeekWork_ =
            main_.postAfter(interval - sinceLast, [this, alive = std::weak_ptr<bool>(alive_)] {
                if (!alive.lock()) return;
                pendingInteractiveSeekWork_.reset();
                issuePendingSeek();
            });
        return;
    }
    issuePendingSeek();
}

void PreviewCoordinator::issuePendingSeek() {
    if (!pendingInteractiveSeekTime_) return;
    const double time = *std::exchange(pendingInteractiveSeekTime_, std::nullopt);
    player_.seek(time, pendingInteractiveSeekIsTolerant_ ? kInteractiveSeekInterval : 0);
    lastInteractiveSeekIssuedAt_ = main_.now();
}

void PreviewCoordinator::endScrub() {
    main_.post([this, alive = std::weak_ptr<bool>(alive_), generation = interactiveSeekGeneration_] {
        if (alive.lock()) finishScrub(generation);
    });
}

void PreviewCoordinator::finishScrub(std::uint64_t generation) {
    if (generation != interactiveSeekGeneration_ || !isUserScrubbing_) return;
    // The last target must land even when the throttle was still holding it back.
    if (pendingInteractiveSeekWork_) {
        pendingInteractiveSeekWork_->cancel();
        pendingInteractiveSeekWork_.reset();
        issuePendingSeek();
    }
    isUserScrubbing_ = false;
    ignorePlayerTicksUntil_ = SteadyTime::min();
    const double time =
        player_.isReady() ? player_.currentTime() : interactiveSeekTargetTime_.value_or(state_.values().currentTime);
    state_.modify([&](EditorValues& v) { v.currentTime = time; });
    if (resumeAfterInteractiveSeek_) {
        player_.play(1.0);
        lastDispatchedPlaying_ = true;
    }
}

}  // namespace orvane
