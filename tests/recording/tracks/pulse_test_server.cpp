#include "pulse_test_server.h"

#include <signal.h>
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

namespace {

void writeToneWav(const std::filesystem::path& file, double seconds) {
    const int rate = 48000;
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::vector<std::int16_t> samples(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        samples[i] = static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 440 * i / rate));
    }
    auto put32 = [](std::ofstream& out, std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [](std::ofstream& out, std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    std::ofstream out(file, std::ios::binary);
    const std::uint32_t dataBytes = frames * 2;
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);
    put16(out, 1);
    put16(out, 1);
    put32(out, rate);
    put32(out, rate * 2);
    put16(out, 2);
    put16(out, 16);
    out.write("data", 4);
    put32(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
}

}  // namespace

PulseTestServer::PulseTestServer() {
    if (const char* old = std::getenv("PULSE_SERVER")) previousServer_ = old;
    const auto socket = runtime_.path() / "native";
    serverAddress_ = "unix:" + socket.string();

    pid_ = fork();
    if (pid_ == 0) {
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
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
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
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (previousServer_) {
        setenv("PULSE_SERVER", previousServer_->c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
}

bool PulseTestServer::playTone(const std::string& sink, double seconds) const {
    const auto wav = runtime_.path() / "tone.wav";
    writeToneWav(wav, seconds);
    const std::string command = "PULSE_SERVER='" + serverAddress_ + "' paplay --latency-msec=50 --device=" + sink + " '" + wav.string() + "'";
    return std::system(command.c_str()) == 0;
}

}  // namespace orvane::testing
