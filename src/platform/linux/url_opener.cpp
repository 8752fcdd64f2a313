#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/url_opener.h"

extern char** environ;

namespace orvane {

namespace {

// xdg-open returns once the desktop has taken the request (it forks the browser itself), so
// waiting for it is short and tells us whether anyone could handle the address.
void runXdgOpen(const std::string& target) {
    std::vector<char*> argv;
    std::string program = "xdg-open";
    argv.push_back(program.data());
    std::string argument = target;
    argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        throw std::runtime_error("Couldn't start xdg-open: " + std::string(std::strerror(spawned)));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("Couldn't wait for xdg-open: " + std::string(std::strerror(errno)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("xdg-open could not open " + target);
    }
}

class XdgUrlOpener final : public UrlOpener {
public:
    void open(const std::string& url) override { runXdgOpen(url); }
    // xdg-open cannot select a file, so the folder holding it is opened instead.
    void revealFile(const std::filesystem::path& file) override {
        runXdgOpen(std::filesystem::absolute(file).parent_path().string());
    }
};

}  // namespace

std::unique_ptr<UrlOpener> makeXdgUrlOpener() { return std::make_unique<XdgUrlOpener>(); }

}  // namespace orvane
