#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/file_descriptor.h"

namespace orvane::testing {

struct TestHttpRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::string path;    // percent-encoded, as sent
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::optional<std::string> header(std::string_view name) const;
    // The decoded value of one query item.
    std::optional<std::string> queryValue(std::string_view name) const;
};

struct TestHttpResponse {
    TestHttpResponse() = default;
    TestHttpResponse(int code, std::vector<std::pair<std::string, std::string>> fields = {}, std::string text = {})
        : status(code), headers(std::move(fields)), body(std::move(text)) {}

    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Waits this long before answering (timeouts).
    std::chrono::milliseconds delay{0};
    // Announces more bytes than it sends, then closes (a connection lost mid-answer).
    bool truncate = false;
    // Closes the connection without a word.
    bool hangUp = false;

    static TestHttpResponse json(int status, std::string body) {
        return {status, {{"Content-Type", "application/json"}}, std::move(body)};
    }
};

// A small HTTP/1.1 server on a loopback port, one thread per connection, every answer closing its
// connection. Tests write the other side of each protocol as a handler; every request is recorded.
class TestHttpServer {
public:
    using Handler = std::function<TestHttpResponse(const TestHttpRequest&)>;

    explicit TestHttpServer(Handler handler);
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;
    ~TestHttpServer();

    // "http://127.0.0.1:<port>"
    std::string baseURL() const;
    int port() const { return port_; }
    std::vector<TestHttpRequest> requests() const;
    std::size_t requestCount() const;
    void setHandler(Handler handler);

private:
    void acceptLoop();
    void serve(FileDescriptor connection);

    Handler handler_;
    FileDescriptor listener_{-1};
    FileDescriptor wakeRead_{-1};
    FileDescriptor wakeWrite_{-1};
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<TestHttpRequest> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// A server that is not there: a loopback port nothing listens on.
std::string unusedLoopbackURL();

}  // namespace orvane::testing
