#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace orvane::testing {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else if (text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const auto sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 413: return "Payload Too Large";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

}  // namespace

std::optional<std::string> TestHttpRequest::header(std::string_view name) const {
    const auto wanted = lower(name);
    for (const auto& [key, value] : headers) {
        if (lower(key) == wanted) return value;
    }
    return std::nullopt;
}

std::optional<std::string> TestHttpRequest::queryValue(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const auto item = rest.substr(0, amp);
        const auto equals = item.find('=');
        if (percentDecode(item.substr(0, equals)) == name) {
            return equals == std::string_view::npos ? std::string() : percentDecode(item.substr(equals + 1));
        }
        if (amp == std::string_view::npos) break;
        rest.remove_prefix(amp + 1);
    }
    return std::nullopt;
}

TestHttpServer::TestHttpServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (listener_.get() < 0) throw std::runtime_error("test server: no socket");
    const int yes = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 64) != 0) {
        throw std::runtime_error("test server: cannot listen on loopback");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("test server: no pipe");
    wakeRead_ = FileDescriptor(pipeEnds[0]);
    wakeWrite_ = FileDescriptor(pipeEnds[1]);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    stopping_ = true;
    [[maybe_unused]] const auto written = ::write(wakeWrite_.get(), "x", 1);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& thread : connections) thread.join();
}

std::string TestHttpServer::baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<TestHttpRequest> TestHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t TestHttpServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void TestHttpServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void TestHttpServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        FileDescriptor connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.get() < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back(
            [this, fd = std::make_shared<FileDescriptor>(std::move(connection))]() mutable { serve(std::move(*fd)); });
    }
}

void TestHttpServer::serve(FileDescriptor connection) {
    const int fd = connection.get();
    std::string data;
    char buffer[65536];
    auto readMore = [&] {
        pollfd waitFor{fd, POLLIN, 0};
        while (!stopping_) {
            if (::poll(&waitFor, 1, 100) > 0) break;
        }
        if (stopping_) return false;
        const auto got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        data.append(buffer, static_cast<std::size_t>(got));
        return true;
    };
    std::size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore()) return;
    }
    TestHttpRequest request;
    std::string_view head(data.data(), headerEnd);
    const auto lineEnd = head.find("\r\n");
    std::string_view requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = std::string(requestLine.substr(0, firstSpace));
    request.target = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    const auto question = request.target.find('?');
    request.path = request.target.substr(0, question);
    if (question != std::string::npos) request.query = request.target.substr(question + 1);
    std::string_view rest = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const auto line = rest.substr(0, end);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            auto value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 2);
    }
    const std::size_t length = std::stoull(request.header("Content-Length").value_or("0"));
    const std::size_t bodyStart = headerEnd + 4;
    while (data.size() < bodyStart + length) {
        if (!readMore()) return;
    }
    request.body = data.substr(bodyStart, length);

    Handler handler;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        handler = handler_;
    }
    TestHttpResponse response = handler(request);
    for (auto waited = std::chrono::milliseconds(0); waited < response.delay && !stopping_;
         waited += std::chrono::milliseconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (response.hangUp || stopping_) return;
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    const std::size_t announced = response.body.size() + (response.truncate ? 100 : 0);
    if (request.method != "HEAD" || response.body.size() > 0) {
        out += "Content-Length: " + std::to_string(announced) + "\r\n";
    } else {
        out += "Content-Length: 0\r\n";
    }
    out += "Connection: close\r\n\r\n";
    if (request.method != "HEAD") out += response.body;
    sendAll(fd, out);
}

std::string unusedLoopbackURL() {
    // Bind a port, then close it: nothing listens there for the rest of the test.
    FileDescriptor probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

}  // namespace orvane::testing
