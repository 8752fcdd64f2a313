#include "support/pipewire_test_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

namespace orvane::testing {

namespace {

bool waitFor(const std::function<bool()>& ready) {
    // Each part comes up within a second on a quiet machine; a loaded one gets ten.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

PipeWireTestServer::PipeWireTestServer() {
    chmod(runtime_.path().c_str(), 0700);
    const auto bus = runtime_.path() / "bus";
    if (spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus.string()}) < 0 ||
        !waitFor([&] { return std::filesystem::exists(bus); })) {
        unavailableReason_ = "dbus-daemon did not start (is it installed?)";
        return;
    }
    const auto socket = runtime_.path() / "pipewire-0";
    if (spawn({"pipewire"}) < 0 || !waitFor([&] { return std::filesystem::exists(socket); })) {
        unavailableReason_ = "pipewire did not start (is it installed?)";
        return;
    }
    if (spawn({"wireplumber"}) < 0 ||
        !waitFor([&] { return answers("pw-dump 2>/dev/null | grep -q '\"application.name\": \"WirePlumber\"'"); })) {
        unavailableReason_ = "wireplumber did not start (is it installed?)";
        return;
    }
}

PipeWireTestServer::~PipeWireTestServer() {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
        if (kill(*it, SIGTERM) == 0) waitpid(*it, nullptr, 0);
    }
}

int PipeWireTestServer::spawn(const std::vector<std::string>& arguments) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // A test that aborts never runs the destructor; the daemons must not outlive it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(0);
        const std::string home = runtime_.path().string();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
            setenv(name, home.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home + "/bus").c_str(), 1);
        unsetenv("PIPEWIRE_REMOTE");
        unsetenv("DISPLAY");
        const auto log = runtime_.path() / (arguments.front() + ".log");
        if (FILE* out = std::freopen(log.c_str(), "w", stdout)) dup2(fileno(out), STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0) pids_.push_back(pid);
    return pid;
}

bool PipeWireTestServer::answers(const std::string& shellCommand) const {
    const std::string command = "XDG_RUNTIME_DIR='" + runtime_.path().string() + "' " + shellCommand;
    return std::system(command.c_str()) == 0;
}

FileDescriptor PipeWireTestServer::connect() const {
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto path = (runtime_.path() / "pipewire-0").string();
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        return FileDescriptor(-1);
    }
    return fd;
}

}  // namespace orvane::testing
