#pragma once

// One small HTTP interface for every online service (the backend, the auth service, share uploads,
// online speech recognition), so clients are tested against loopback servers and never see libcurl.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvane {

// Header names compare without regard to case, as HTTP says; order is kept as sent.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;
std::optional<std::string> findHeader(const HttpHeaders& headers, std::string_view name);

// A body read from a file: the whole file, or `length` bytes from `offset` (one chunk of a
// resumable upload), streamed without loading it into memory.
struct HttpFileBody {
    HttpFileBody(std::filesystem::path path, std::uint64_t from = 0, std::optional<std::uint64_t> count = {})
        : file(std::move(path)), offset(from), length(count) {}

    std::filesystem::path file;
    std::uint64_t offset = 0;
    std::optional<std::uint64_t> length;
};

using HttpBody = std::variant<std::monostate, std::string, HttpFileBody>;

// Bytes of the body sent so far and the body's size.
using HttpUploadProgress = std::function<void(std::uint64_t sent, std::uint64_t total)>;
// Bytes of the answer received so far and its announced size (0 while unknown).
using HttpDownloadProgress = std::function<void(std::uint64_t received, std::uint64_t total)>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    HttpBody body;
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    HttpUploadProgress uploadProgress;
    // When set, the answer's body is streamed into this file (created or truncated) instead of
    // memory, whatever its size, and HttpResponse::body stays empty. Release archives use it.
    std::optional<std::filesystem::path> responseFile;
    HttpDownloadProgress downloadProgress;
};

struct HttpResponse {
    int status = 0;
    HttpHeaders headers;
    std::string body;

    bool ok() const { return status >= 200 && status <= 299; }
    std::optional<std::string> header(std::string_view name) const { return findHeader(headers, name); }
};

// The request never got an HTTP answer: no connection, a timeout, a connection lost mid-answer, a
// body file that cannot be read. what() is the sentence shown to the user.
class HttpTransportError : public std::runtime_error {
public:
    enum class Kind { cannotConnect, timedOut, connectionLost, badURL, fileUnreadable, other };
    HttpTransportError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The caller's stop token was triggered; the transfer was abandoned.
class HttpCancelled : public std::runtime_error {
public:
    HttpCancelled() : std::runtime_error("The request was cancelled.") {}
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Sends one request and answers whatever status the server gave. Throws HttpTransportError when
    // no complete answer arrived, HttpCancelled once `stop` is requested. Safe to call from several
    // threads at once.
    virtual HttpResponse send(const HttpRequest& request, std::stop_token stop = {}) = 0;
};

}  // namespace orvane
