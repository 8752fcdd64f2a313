#include <gtest/gtest.h>

#include <fstream>

#include "net/curl_http_transport.h"
#include "net/service_url.h"
#include "support/http_test_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(CurlHttpTransport, SendsMethodHeadersAndBodiesAndReadsTheAnswer) {
    TestHttpServer server([](const TestHttpRequest& request) {
        TestHttpResponse response{201, {{"X-Echo-Method", request.method}, {"Upload-Offset", "42"}}, request.body};
        return response;
    });
    CurlHttpTransport transport;

    HttpRequest post;
    post.method = "POST";
    post.url = server.baseURL() + "/things?x=1";
    post.headers = {{"Authorization", "Bearer abc"}, {"Content-Type", "application/json"}};
    post.body = std::string(R"({"a":1})");
    const auto answer = transport.send(post);
    EXPECT_EQ(answer.status, 201);
    EXPECT_EQ(answer.body, R"({"a":1})");
    EXPECT_EQ(answer.header("x-echo-method"), "POST");
    EXPECT_EQ(answer.header("UPLOAD-OFFSET"), "42");

    // A window of a file, as one chunk of a resumable upload is sent.
    testing::TempDir dir;
    const auto bytes = patternBytes(300'000);
    const auto file = dir / "movie.bin";
    std::ofstream(file, std::ios::binary) << bytes;
    HttpRequest patch;
    patch.method = "PATCH";
    patch.url = server.baseURL() + "/upload";
    patch.body = HttpFileBody{file, 100'000, 150'000};
    std::uint64_t lastSent = 0, lastTotal = 0;
    patch.uploadProgress = [&](std::uint64_t sent, std::uint64_t total) {
        EXPECT_GE(sent, lastSent);
        lastSent = sent;
        lastTotal = total;
    };
    EXPECT_EQ(transport.send(patch).body, bytes.substr(100'000, 150'000));
    EXPECT_EQ(lastTotal, 150'000u);

    HttpRequest head;
    head.method = "HEAD";
    head.url = server.baseURL() + "/upload";
    EXPECT_EQ(transport.send(head).header("Upload-Offset"), "42");
    HttpRequest remove;
    remove.method = "DELETE";
    remove.url = server.baseURL() + "/shares/1";
    transport.send(remove);

    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].target, "/things?x=1");
    EXPECT_EQ(seen[0].header("Authorization"), "Bearer abc");
    EXPECT_EQ(seen[1].method, "PATCH");
    EXPECT_EQ(seen[1].body.size(), 150'000u);
    EXPECT_EQ(seen[2].method, "HEAD");
    EXPECT_EQ(seen[3].method, "DELETE");
    EXPECT_TRUE(seen[3].body.empty());
}

TEST(CurlHttpTransport, StreamsALargeAnswerIntoAFileWithProgress) {
    // Larger than the in-memory answer limit would allow.
    const std::string payload = patternBytes(3 * 1024 * 1024 + 17);
    TestHttpServer server([&](const TestHttpRequest&) { return TestHttpResponse{200, {}, payload}; });
    CurlHttpTransport transport;
    testing::TempDir dir;

    HttpRequest get;
    get.url = server.baseURL() + "/archive";
    get.responseFile = dir / "archive.bin";
    std::uint64_t lastReceived = 0;
    std::uint64_t lastTotal = 0;
    bool monotonic = true;
    get.downloadProgress = [&](std::uint64_t received, std::uint64_t total) {
        monotonic = monotonic && received >= lastReceived;
        lastReceived = received;
        lastTotal = total;
    };
    const auto answer = transport.send(get);
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.empty());
    EXPECT_EQ(testing::readTextFile(dir / "archive.bin"), payload);
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(lastReceived, payload.size());
    EXPECT_EQ(lastTotal, payload.size());

    // A folder that cannot be written says so before anything is sent.
    get.responseFile = dir / "missing-folder" / "archive.bin";
    EXPECT_THROW(transport.send(get), HttpTransportError);
}

TEST(CurlHttpTransport, FailuresWithoutAnAnswerSayWhatHappened) {
    CurlHttpTransport transport;
    auto kindOf = [&](HttpRequest request) {
        try {
            transport.send(request);
        } catch (const HttpTransportError& error) {
            return std::make_pair(error.kind(), std::string(error.what()));
        }
        return std::make_pair(HttpTransportError::Kind::other, std::string("answered"));
    };

    HttpRequest down;
    down.url = testing::unusedLoopbackURL() + "/teams";
    EXPECT_EQ(kindOf(down),
              std::make_pair(HttpTransportError::Kind::cannotConnect, std::string("Could not connect to the server.")));

    TestHttpServer slow([](const TestHttpRequest&) {
        TestHttpResponse response{200, {}, "late"};
        response.delay = std::chrono::milliseconds(3000);
        return response;
    });
    HttpRequest timed;
    timed.url = slow.baseURL() + "/teams";
    timed.timeout = std::chrono::milliseconds(300);
    EXPECT_EQ(kindOf(timed), std::make_pair(HttpTransportError::Kind::timedOut, std::string("The request timed out.")));

    TestHttpServer cut([](const TestHttpRequest& request) {
        TestHttpResponse response{200, {}, R"({"id":"par)"};
        response.truncate = request.path == "/truncate";
        response.hangUp = request.path == "/hangup";
        return response;
    });
    HttpRequest truncated;
    truncated.url = cut.baseURL() + "/truncate";
    EXPECT_EQ(kindOf(truncated).first, HttpTransportError::Kind::connectionLost);
    HttpRequest hungUp;
    hungUp.url = cut.baseURL() + "/hangup";
    EXPECT_EQ(kindOf(hungUp).first, HttpTransportError::Kind::connectionLost);

    HttpRequest missingFile;
    missingFile.method = "PUT";
    missingFile.url = cut.baseURL() + "/x";
    missingFile.body = HttpFileBody{"/nonexistent/orvane/movie.mp4"};
    EXPECT_EQ(kindOf(missingFile).first, HttpTransportError::Kind::fileUnreadable);
    EXPECT_EQ(cut.requestCount(), 2u) << "an unreadable file never reaches the server";

    HttpRequest ftp;
    ftp.url = "ftp://127.0.0.1/file";
    EXPECT_EQ(kindOf(ftp).first, HttpTransportError::Kind::badURL);
}

TEST(CurlHttpTransport, AStopTokenAbandonsAnUploadInFlight) {
    TestHttpServer server([](const TestHttpRequest&) { return TestHttpResponse{200, {}, "{}"}; });
    CurlHttpTransport transport;
    std::stop_source stop;
    HttpRequest request;
    request.method = "PUT";
    request.url = server.baseURL() + "/big";
    request.body = patternBytes(64u * 1024 * 1024);
    request.uploadProgress = [&](std::uint64_t sent, std::uint64_t) {
        if (sent > 0) stop.request_stop();
    };
    EXPECT_THROW(transport.send(request, stop.get_token()), HttpCancelled);

    std::stop_source already;
    already.request_stop();
    EXPECT_THROW(transport.send(request, already.get_token()), HttpCancelled);
    EXPECT_EQ(server.requestCount(), 0u) << "neither upload reached the handler with a whole body";
}

TEST(ServiceURL, EnvironmentRedirectsANamedServiceAndURLsAreBuiltSafely) {
    {
        testing::ScopedEnv env("ORVANE_SERVICE_URL_API", "  http://127.0.0.1:9/  ");
        EXPECT_EQ(serviceBaseURL("API", "https://api.example"), "http://127.0.0.1:9/");
        EXPECT_EQ(serviceBaseURL("AUTH", "https://auth.example"), "https://auth.example");
    }
    {
        testing::ScopedEnv blank("ORVANE_SERVICE_URL_API", " ");
        EXPECT_EQ(serviceBaseURL("API", "https://api.example"), "https://api.example");
    }
    EXPECT_EQ(joinURL("https://h.example//", {"teams", "a b/c", "library"}, {{"limit", "50"}, {"q", "x&y"}}),
              "https://h.example/teams/a%20b%2Fc/library?limit=50&q=x%26y");

    URLParts parts;
    ASSERT_TRUE(parseURL("https://abc.supabase.co:8443/storage/v1/object/upload/sign/x?token=t#frag", parts));
    EXPECT_EQ(parts.host, "abc.supabase.co");
    EXPECT_EQ(parts.port, "8443");
    EXPECT_EQ(parts.path, "/storage/v1/object/upload/sign/x");
    EXPECT_EQ(parts.query, "token=t");
    EXPECT_FALSE(isHttpURL("file:///etc/passwd"));
    EXPECT_FALSE(isHttpURL("https://user:pw@host/"));
    EXPECT_FALSE(isHttpURL("https:///path"));
    EXPECT_FALSE(isHttpURL("not a url"));
}

}  // namespace
}  // namespace orvane
