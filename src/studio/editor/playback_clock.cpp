#include "studio/editor/playback_clock.h"

namespace orvane::studio {

void SteadyPlaybackClock::start(double from) {
    from_ = from;
    startedAt_ = std::chrono::steady_clock::now();
    running_ = true;
}

void SteadyPlaybackClock::stop() {
    from_ = now();
    running_ = false;
}

double SteadyPlaybackClock::now() const {
    if (!running_) return from_;
    return from_ + std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt_).count();
}

}  // namespace orvane::studio
