#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvane {

// Tells whether a camera really delivers: frames arrive on the camera's thread, one waiter asks
// whether `framesNeeded` of them came within a time limit. The waiter is answered exactly once,
// by whichever comes first; later frames and late time-outs change nothing.
class FirstFrameProbe {
public:
    explicit FirstFrameProbe(int framesNeeded) : framesNeeded_(framesNeeded < 1 ? 1 : framesNeeded) {}

    void frameArrived();
    // True when enough frames arrived before `timeout`, false on time-out.
    bool wait(std::chrono::duration<double> timeout);

    bool sawFrame() const;
    int framesSeen() const;

private:
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    int framesSeen_ = 0;
    int framesNeeded_;
    bool sawFrame_ = false;
    bool resolved_ = false;
    bool result_ = false;
};

}  // namespace orvane
