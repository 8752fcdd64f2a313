#include "recording/tracks/first_frame_probe.h"

namespace orvane {

void FirstFrameProbe::frameArrived() {
    std::lock_guard guard(lock_);
    ++framesSeen_;
    sawFrame_ = true;
    if (framesSeen_ >= framesNeeded_ && !resolved_) {
        resolved_ = true;
        result_ = true;
        arrived_.notify_all();
    }
}

bool FirstFrameProbe::wait(std::chrono::duration<double> timeout) {
    std::unique_lock guard(lock_);
    arrived_.wait_for(guard, timeout, [this] { return resolved_; });
    if (!resolved_) {
        resolved_ = true;  // a late third frame must not flip the answer
        result_ = false;
    }
    return result_;
}

bool FirstFrameProbe::sawFrame() const {
    std::lock_guard guard(lock_);
    return sawFrame_;
}

int FirstFrameProbe::framesSeen() const {
    std::lock_guard guard(lock_);
    return framesSeen_;
}

}  // namespace orvane
