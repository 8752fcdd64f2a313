#include "platform/linux/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

using Clock = std::chrono::steady_clock;

// How long one sender may take to deliver its line: hand-overs write at once, so anything slower
// is a stuck or hostile client that must not freeze the studio's main loop.
constexpr auto kSenderGrace = std::chrono::milliseconds(250);

constexpr int kConnectionsPerCall = 16;

[[noreturn]] void throwErrno(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

sockaddr_un addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof(address.sun_path)) {
        throw InstanceChannelError("The studio's socket path is too long: " + text);
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// The folder must be ours and private: in a shared /tmp another user could otherwise create it
// first and read the links we hand over.
void ensurePrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throwErrno("Couldn't create " + folder.string());
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) throwErrno("Couldn't inspect " + folder.string());
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        throw InstanceChannelError("The folder " + folder.string() + " belongs to another user.");
    }
    if ((info.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        throwErrno("Couldn't make " + folder.string() + " private");
    }
}

FileDescriptor connectTo(const std::filesystem::path& path) {
    const sockaddr_un address = addressOf(path);
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) throwErrno("Couldn't create a socket");
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return FileDescriptor(-1);
    }
    return socket;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<InstanceMessage> decode(std::string_view line) {
    const auto json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_array()) return std::nullopt;
    InstanceMessage message;
    for (const auto& item : json) {
        if (!item.is_string()) return std::nullopt;
        message.push_back(item.get<std::string>());
    }
    return message;
}

// Reads one sender's lines until it closes, the deadline passes or it sends too much.
void readSender(int fd, Clock::time_point deadline, std::vector<InstanceMessage>& messages) {
    std::string buffer;
    bool overflowed = false;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd watch{fd, POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[4096];
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        buffer.append(chunk, static_cast<std::size_t>(got));
        std::size_t newline;
        while ((newline = buffer.find('\n')) != std::string::npos) {
            if (!overflowed) {
                if (auto message = decode(std::string_view(buffer).substr(0, newline))) {
                    messages.push_back(std::move(*message));
                } else {
                    log::warning(log_area::kApp, "instance channel: ignored a malformed message");
                }
            }
            overflowed = false;
            buffer.erase(0, newline + 1);
        }
        if (buffer.size() > InstanceChannel::kMaxMessageBytes) {
            // Skip the rest of this line, whatever else follows it.
            if (!overflowed) log::warning(log_area::kApp, "instance channel: ignored an oversized message");
            overflowed = true;
            buffer.clear();
        }
    }
}

}  // namespace

std::filesystem::path InstanceChannel::defaultSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::filesystem::path(runtime) / "orvane" / "studio.sock";
    return std::filesystem::path("/tmp") / ("orvane-" + std::to_string(::getuid())) / "studio.sock";
}

InstanceChannel::InstanceChannel(std::filesystem::path socketPath) : socketPath_(std::move(socketPath)) {}

InstanceChannel::~InstanceChannel() {
    if (isListening()) ::unlink(socketPath_.c_str());
}

std::optional<int> InstanceChannel::listen() {
    if (isListening()) return listener_.get();
    ensurePrivateFolder(socketPath_.parent_path());
    const sockaddr_un address = addressOf(socketPath_);

    // The lock decides who listens, so two studios starting together cannot both take a stale
    // socket for theirs; the kernel drops it when its holder dies.
    const std::filesystem::path lockPath = socketPath_.string() + ".lock";
    FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0) throwErrno("Couldn't open " + lockPath.string());
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return std::nullopt;
        throwErrno("Couldn't lock " + lockPath.string());
    }
    // A listener that runs without our lock (an older build) still counts as the running instance.
    if (connectTo(socketPath_).get() >= 0) return std::nullopt;
    // Whatever is left at the path belongs to an instance that died.
    if (::unlink(socketPath_.c_str()) != 0 && errno != ENOENT) throwErrno("Couldn't remove " + socketPath_.string());

    FileDescriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (listener.get() < 0) throwErrno("Couldn't create a socket");
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throwErrno("Couldn't listen at " + socketPath_.string());
    }
    ::chmod(socketPath_.c_str(), 0600);
    if (::listen(listener.get(), 16) != 0) throwErrno("Couldn't listen at " + socketPath_.string());
    lock_ = std::move(lock);
    listener_ = std::move(listener);
    log::info(log_area::kApp, "instance channel listening at %s", socketPath_.c_str());
    return listener_.get();
}

std::vector<InstanceMessage> InstanceChannel::acceptPending() {
    std::vector<InstanceMessage> messages;
    if (!isListening()) return messages;
    // A bounded batch: the listener stays readable, so the rest come on the next call, and a flood
    // of connections cannot hold the main loop.
    for (int taken = 0; taken < kConnectionsPerCall; ++taken) {
        FileDescriptor connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.get() < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            break;  // EAGAIN: nobody else is waiting
        }
        readSender(connection.get(), Clock::now() + kSenderGrace, messages);
    }
    return messages;
}

bool InstanceChannel::handOver(const InstanceMessage& message, const std::filesystem::path& socketPath) {
    const FileDescriptor connection = connectTo(socketPath);
    if (connection.get() < 0) return false;
    nlohmann::json array = nlohmann::json::array();
    for (const auto& argument : message) array.push_back(argument);
    // Arguments that are not UTF-8 are sent with replacement characters rather than refused.
    std::string line = array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += '\n';
    if (line.size() > kMaxMessageBytes)
        throw std::invalid_argument("The arguments are too long to hand to the running studio.");
    return writeAll(connection.get(), line);
}

}  // namespace orvane
