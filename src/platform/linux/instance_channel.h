#pragma once

// One studio per user session. The first instance listens on a Unix socket; a later invocation
// (`orvane open URL`, a browser handing a link to `orvane-studio URL`) passes its arguments to it
// and exits instead of opening a second window.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file_descriptor.h"

namespace orvane {

// The arguments of one invocation; a URL handed over is a vector of one.
using InstanceMessage = std::vector<std::string>;

// The socket's folder cannot be made safe (owned by someone else, wrong mode) or its path is too
// long for a socket address. what() is the text shown.
class InstanceChannelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class InstanceChannel {
public:
    // A message longer than this (one JSON line) is dropped whole.
    static constexpr std::size_t kMaxMessageBytes = 64 * 1024;

    // $XDG_RUNTIME_DIR/orvane/studio.sock; without XDG_RUNTIME_DIR, /tmp/orvane-<uid>/studio.sock.
    static std::filesystem::path defaultSocketPath();

    explicit InstanceChannel(std::filesystem::path socketPath = defaultSocketPath());
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;
    // Removes the socket file when this instance was the listener.
    ~InstanceChannel();

    const std::filesystem::path& socketPath() const { return socketPath_; }

    // Becomes the session's listener and answers the listening descriptor to watch for readability
    // (it stays owned by the channel). Nothing when another live instance already listens. A socket
    // file left by an instance that died is replaced. Throws InstanceChannelError or
    // std::system_error when the socket cannot be made.
    std::optional<int> listen();
    bool isListening() const { return listener_.get() >= 0; }

    // Takes the waiting connections (up to 16 a call; the descriptor stays readable while more wait)
    // and answers the messages they carried, in arrival order. Never waits long: a sender that says nothing within a
    // short grace period is dropped, as are lines that are not a JSON array of strings or are too long.
    std::vector<InstanceMessage> acceptPending();

    // Sends `message` to the listener of `socketPath`. False when nobody listens there (no socket,
    // or a stale one); a running instance then does not exist. Throws std::invalid_argument for a
    // message longer than kMaxMessageBytes.
    static bool handOver(const InstanceMessage& message, const std::filesystem::path& socketPath = defaultSocketPath());

private:
    std::filesystem::path socketPath_;
    FileDescriptor lock_{-1};
    FileDescriptor listener_{-1};
};

}  // namespace orvane
