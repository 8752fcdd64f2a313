#pragma once

#include <chrono>
#include <memory>

namespace orvane::studio {

// What drives the playhead while the editor plays. The editor asks it for the composition time
// on every tick; a clock driven by the sound card's played samples keeps picture and sound
// together, the steady clock below keeps time when nothing is heard.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    // Starts counting from composition time `from`.
    virtual void start(double from) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;
    // The composition time now; the start time while stopped.
    virtual double now() const = 0;
};

// Real time from the monotonic clock: a wall-clock jump never moves the playhead.
class SteadyPlaybackClock : public PlaybackClock {
public:
    void start(double from) override;
    void stop() override;
    bool running() const override { return running_; }
    double now() const override;

private:
    double from_ = 0;
    std::chrono::steady_clock::time_point startedAt_;
    bool running_ = false;
};

}  // namespace orvane::studio
