#pragma once

#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace orvane::testing {

// A private PulseAudio daemon for one test suite: a null sink "orvane_speakers" (the default output),
// a second null sink "orvane_headset", and a sine-wave source "orvane_sine" standing in for a
// microphone. PULSE_SERVER points at it while the object lives, so the code under test (and any
// child process started meanwhile) talks to it and never to the machine's own sound server.
class PulseTestServer {
public:
    PulseTestServer();
    PulseTestServer(const PulseTestServer&) = delete;
    PulseTestServer& operator=(const PulseTestServer&) = delete;
    ~PulseTestServer();

    // Empty when the daemon answers; otherwise why it could not be started.
    const std::string& unavailableReason() const { return unavailableReason_; }

    // Plays `seconds` of a 440 Hz tone into `sink` through pacat; true when it succeeded.
    bool playTone(const std::string& sink, double seconds) const;

private:
    TempDir runtime_;
    int pid_ = -1;
    std::string serverAddress_;
    std::string unavailableReason_;
    std::optional<std::string> previousServer_;
};

}  // namespace orvane::testing
