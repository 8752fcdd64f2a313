#include "support/pulse_test_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/pulse/pulse_audio_system.h"

namespace orvane::testing {

PulseTestServer::PulseTestServer() {
    if (const char* old = std::getenv("PULSE_SERVER")) previousServer_ = old;
    const auto socket = runtime_.path() / "native";
    serverAddress_ = "unix:" + socket.string();

    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // A test that aborts (a sanitizer report, a failed check) never runs the destructor; the server
        // must not outlive it and hold the test's output open, which keeps ctest waiting until its timeout.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(0);
        const std::string home = runtime_.path().string();
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        // Every daemon on a session bus claims the same bus name and the second one exits at start, so
        // tests running side by side would skip; the private socket is all the tests need.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("DISPLAY");
        const std::string native = "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket.string();
        execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
               "--disable-shm=yes", "--log-target=stderr", "--log-level=error",
               "--load=module-null-sink sink_name=orvane_speakers", "--load=module-null-sink sink_name=orvane_headset",
               "--load=module-sine-source source_name=orvane_sine frequency=440", native.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) {
        unavailableReason_ = "fork failed";
        return;
    }
    setenv("PULSE_SERVER", serverAddress_.c_str(), 1);

    // Wait for the daemon to answer; it is usually up within a few hundred milliseconds.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            unavailableReason_ = "pulseaudio exited at start (is it installed?)";
            return;
        }
        try {
            makePulseAudioSystem("orvane-test-probe");
            unavailableReason_.clear();
            return;
        } catch (const std::exception& e) {
            unavailableReason_ = e.what();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

PulseTestServer::~PulseTestServer() {
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
    previousServer_ ? setenv("PULSE_SERVER", previousServer_->c_str(), 1) : unsetenv("PULSE_SERVER");
}

bool PulseTestServer::playTone(const std::string& sink, double seconds) const {
    const int rate = 48000;
    std::vector<std::int16_t> samples(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::int16_t(16000 * std::sin(2 * M_PI * 440 * double(i) / rate));
    const auto raw = runtime_.path() / "tone.raw";
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
    return std::system(("PULSE_SERVER='" + serverAddress_ + "' pacat --playback --raw --format=s16le --rate=48000 --channels=1 "
                        "--latency-msec=50 --device=" + sink + " < '" + raw.string() + "'").c_str()) == 0;
}

}  // namespace orvane::testing
