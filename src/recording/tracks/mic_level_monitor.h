#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/executor.h"
#include "base/signal.h"
#include "platform/audio_system.h"
#include "recording/tracks/mic_level.h"

namespace orvane {

// The live microphone meter shown before and during a recording. Levels are computed on the sound
// thread and published on the main loop; opening and closing the capture runs on `sessionQueue` so
// a slow sound server never stalls the interface.
//
// A main-loop object: start(), stop(), level() and `levelChanged` belong to `main`. `sessionQueue`
// must be another executor: destruction waits on it.
class MicLevelMonitor {
public:
    MicLevelMonitor(AudioSystem& audio, Executor& main, Executor& sessionQueue);
    MicLevelMonitor(const MicLevelMonitor&) = delete;
    MicLevelMonitor& operator=(const MicLevelMonitor&) = delete;
    // Closes the capture before returning; no publication arrives afterwards.
    ~MicLevelMonitor();

    // Meters `deviceID` (a source name; nothing for the default input). Switches device when it
    // differs from the current one; the same device again changes nothing.
    void start(const std::optional<std::string>& deviceID);
    void stop();

    float level() const;
    const std::optional<std::string>& currentDeviceID() const { return currentDeviceID_; }
    bool isRunning() const { return running_; }

    // Emitted on the main loop with each published level.
    Signal<float> levelChanged;

private:
    struct State;

    AudioSystem& audio_;
    Executor& main_;
    Executor& sessionQueue_;
    std::shared_ptr<State> state_;
    std::optional<std::string> currentDeviceID_;
    bool running_ = false;
    bool didConfigureSession_ = false;
};

}  // namespace orvane
