#include <fstream>
#include <tuple>

#include "cloud/byo_share_client.h"
#include "cloud/hosted_share_client.h"
#include "cloud/signed_upload.h"
#include "cloud/supabase_share_client.h"
#include "cloud_fixture.h"
#include "export/cache/asset_hasher.h"
#include "export/cache/sha256.h"

namespace orvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

std::string patternBytes(std::size_t size, int seed = 1) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed + i / 4093) & 0xFF);
    return bytes;
}

std::string base64Decode(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    int value = 0, bits = -8;
    for (char c : text) {
        const auto index = alphabet.find(c);
        if (index == std::string::npos) break;
        value = (value << 6) + static_cast<int>(index);
        bits += 6;
        if (bits >= 0) {
            out += static_cast<char>((value >> bits) & 0xFF);
            bits -= 8;
        }
    }
    return out;
}

// The hosted backend and its storage on one loopback server: signed targets, single multipart PUTs
// and the resumable protocol, each file kept as received.
struct HostedService {
    std::mutex mutex;
    std::string base;
    std::map<std::string, std::string> stored;  // object path -> bytes
    std::map<std::string, std::string> resumable;
    std::map<std::string, std::string> resumableObject;
    std::vector<std::string> log;  // "METHOD path" of every request, in order
    Json lastStart;
    bool hangUpOnSecondChunk = false;
    bool hungUp = false;
    std::function<void()> onSmallPut;

    static std::string multipartFile(const TestHttpRequest& request) {
        const auto type = request.header("Content-Type").value_or("");
        const auto boundary = type.substr(type.find("boundary=") + 9);
        const auto& body = request.body;
        const auto start = body.find("\r\n\r\n") + 4;
        const auto end = body.rfind("\r\n--" + boundary + "--");
        return body.substr(start, end - start);
    }

    Json target(const std::string& name, const std::string& path, const std::string& type) {
        return {{"name", name},
                {"path", path},
                {"signed_url", base + "/storage/v1/object/upload/sign/zant-exports/" + path + "?token=signed"},
                {"token", "sig-" + name},
                {"content_type", type}};
    }

    TestHttpResponse handle(const TestHttpRequest& request) {
        std::unique_lock lock(mutex);
        log.push_back(request.method + " " + request.path);
        const std::string signPrefix = "/storage/v1/object/upload/sign/zant-exports/";
        if (request.method == "POST" && request.path == "/videos/hosted-share/direct-upload") {
            lastStart = Json::parse(request.body);
            Json answer{{"upload_id", "up-1"},
                        {"video", target("video", "u/v1/video.mp4", "video/mp4")},
                        {"assets", Json::array()},
                        {"asset_results", Json::array({{{"filename", "logo.png"}, {"sha256", "ab"}}})}};
            if (lastStart.contains("sidecar_filename")) {
                answer["sidecar"] = target("sidecar", "u/v1/sidecar.json", "application/json");
            }
            return TestHttpResponse::json(200, answer.dump());
        }
        if (request.method == "PUT" && request.path.starts_with(signPrefix)) {
            if (onSmallPut) {
                auto hook = onSmallPut;
                lock.unlock();
                hook();
                TestHttpResponse slow{200, {}, "{}"};
                slow.delay = std::chrono::milliseconds(3000);
                return slow;
            }
            stored[request.path.substr(signPrefix.size())] = multipartFile(request);
            return TestHttpResponse::json(200, R"({"Key":"ok"})");
        }
        if (request.method == "POST" && request.path == "/storage/v1/upload/resumable") {
            const auto id = "r" + std::to_string(resumable.size());
            resumable[id] = "";
            // Upload-Metadata: "key base64,key base64,..."
            const auto metadata = request.header("Upload-Metadata").value_or("");
            std::size_t at = metadata.find("objectName ");
            resumableObject[id] = base64Decode(metadata.substr(at + 11, metadata.find(',', at) - at - 11));
            return TestHttpResponse{201, {{"Location", base + "/storage/v1/upload/resumable/" + id}}, ""};
        }
        const std::string resumablePrefix = "/storage/v1/upload/resumable/";
        if (request.path.starts_with(resumablePrefix)) {
            const auto id = request.path.substr(resumablePrefix.size());
            auto& data = resumable[id];
            if (request.method == "HEAD") {
                return TestHttpResponse{200, {{"Upload-Offset", std::to_string(data.size())}}, ""};
            }
            if (request.header("Upload-Offset") != std::to_string(data.size())) return {409, {}, "offset mismatch"};
            if (hangUpOnSecondChunk && !hungUp && !data.empty()) {
                hungUp = true;
                TestHttpResponse cut;
                cut.hangUp = true;
                return cut;
            }
            data += request.body;
            stored[resumableObject[id]] = data;
            return TestHttpResponse{204, {{"Upload-Offset", std::to_string(data.size())}}, ""};
        }
        if (request.method == "POST" && request.path == "/videos/hosted-share/direct-upload/up-1/complete") {
            return TestHttpResponse::json(200, Json{{"video_id", "vid-9"},
                                                    {"share_id", "share-9"},
                                                    {"token", "tok-9"},
                                                    {"url", "https://orvane.app/s/tok-9"},
                                                    {"video_url", "https://cdn/v.mp4"},
                                                    {"video_path", "u/v1/video.mp4"},
                                                    {"permission", "comment"}}
                                                   .dump());
        }
        return TestHttpResponse::json(404, R"({"detail":"no route"})");
    }
};

class HostedShareTest : public ::testing::Test {
protected:
    HostedShareTest() : server_([this](const TestHttpRequest& r) { return service_.handle(r); }) {
        service_.base = server_.baseURL();
    }

    std::shared_ptr<HostedAPIShareClient> client(std::optional<std::string> token = "tok") {
        auto provider = [token] { return token; };
        auto api = std::make_shared<RemoteAPIClient>(server_.baseURL(), transport_, provider);
        HostedShareOptions options;
        options.temporaryFolder = temp_.path();
        return std::make_shared<HostedAPIShareClient>(
            api, transport_, provider, [](const std::string&) { return std::nullopt; }, options);
    }

    fs::path writeFile(const std::string& name, const std::string& bytes) {
        const auto path = files_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    bool temporaryFolderEmpty() const { return fs::is_empty(temp_.path()); }

    HostedService service_;
    TestHttpServer server_;
    std::shared_ptr<HttpTransport> transport_ = std::make_shared<CurlHttpTransport>();
    TempDir temp_;
    TempDir files_;
};

TEST_F(HostedShareTest, ASmallFileGoesInOneSignedPutWithItsSidecar) {
    const auto movie = patternBytes(6'291'455);
    const auto sidecar = std::string(R"({"edit":{"clips":[]}})");
    ShareRequest request;
    request.title = "Demo";
    request.permission = "comment";
    request.width = 1920;
    request.height = 1080;
    request.fps = 60;
    request.durationSeconds = 12.5;
    request.sidecar = writeFile("sidecar.json", sidecar);
    const auto result = client()->upload(writeFile("share.mp4", movie), request, {});

    EXPECT_EQ(result.url, "https://orvane.app/s/tok-9");
    EXPECT_EQ(result.videoID, "vid-9");
    EXPECT_EQ(result.token, "tok-9");
    EXPECT_EQ(result.shareID, "share-9");
    EXPECT_EQ(result.permission, "comment");
    EXPECT_EQ(result.apiBaseURL, server_.baseURL());
    EXPECT_TRUE(service_.stored["u/v1/video.mp4"] == movie) << "the uploaded bytes are the file's";
    EXPECT_EQ(service_.stored["u/v1/sidecar.json"], sidecar);
    EXPECT_TRUE(service_.resumable.empty()) << "one byte under 6 MiB goes by the single PUT";
    EXPECT_TRUE(temporaryFolderEmpty()) << "the multipart body is removed after the upload";

    const auto& start = service_.lastStart;
    EXPECT_EQ(start["title"], "Demo");
    EXPECT_EQ(start["size_bytes"], 6'291'455);
    EXPECT_EQ(start["width"], 1920);
    EXPECT_EQ(start["frame_rate"], 60);
    EXPECT_EQ(start["duration_seconds"], 12.5);
    EXPECT_EQ(start["export_kind"], "web1080");
    EXPECT_EQ(start["content_type"], "video/mp4");
    EXPECT_EQ(start["sidecar_filename"], "sidecar.json");
    EXPECT_EQ(start["sidecar_size_bytes"], sidecar.size());
    EXPECT_FALSE(start.contains("team_id"));
    // The asset the service already holds is never uploaded; the share finishes last.
    EXPECT_EQ(service_.log.back(), "POST /videos/hosted-share/direct-upload/up-1/complete");
    EXPECT_EQ(service_.log.size(), 4u);
}

TEST_F(HostedShareTest, LargeFilesGoByTheResumableProtocolInSixMebibyteChunks) {
    const auto atLimit = patternBytes(6'291'456, 2);
    client()->upload(writeFile("a.mp4", atLimit), ShareRequest{}, {});
    EXPECT_EQ(service_.resumable.size(), 1u) << "exactly 6 MiB is resumable";
    EXPECT_TRUE(service_.stored["u/v1/video.mp4"] == atLimit);

    service_.log.clear();
    service_.hangUpOnSecondChunk = true;  // the connection drops once; the upload resumes where the server says
    const auto big = patternBytes(13u * 1024 * 1024, 3);
    ShareRequest withProgress;
    std::vector<double> fractions;
    withProgress.uploadProgress = [&](double fraction) { fractions.push_back(fraction); };
    client()->upload(writeFile("b.mp4", big), withProgress, {});
    ASSERT_FALSE(fractions.empty());
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_GT(*std::max_element(fractions.begin(), fractions.end() - 1), 0.5) << "progress spans the chunks";
    EXPECT_TRUE(service_.stored["u/v1/video.mp4"] == big);
    std::vector<std::string> transfer;
    for (const auto& line : service_.log) {
        if (line.starts_with("PATCH") || line.starts_with("HEAD")) transfer.push_back(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(transfer, (std::vector<std::string>{"PATCH", "PATCH", "HEAD", "PATCH", "PATCH"}));

    const auto requests = server_.requests();
    std::vector<std::size_t> chunks;
    for (const auto& request : requests) {
        if (request.method == "POST" && request.path == "/storage/v1/upload/resumable") {
            EXPECT_EQ(request.header("Tus-Resumable"), "1.0.0");
            EXPECT_EQ(request.header("x-signature"), "sig-video");
            const auto metadata = request.header("Upload-Metadata").value_or("");
            EXPECT_NE(metadata.find("bucketName " + base64Encode("zant-exports")), std::string::npos);
            EXPECT_NE(metadata.find("cacheControl " + base64Encode("3600")), std::string::npos);
        }
        if (request.method == "PATCH" && request.path.ends_with("/r1") && !request.body.empty()) {
            EXPECT_EQ(request.header("Content-Type"), "application/offset+octet-stream");
            chunks.push_back(request.body.size());
        }
    }
    const std::size_t mib = 1024 * 1024;
    EXPECT_EQ(chunks, (std::vector<std::size_t>{6 * mib, 6 * mib, 6 * mib, 1 * mib}))
        << "6, 6 and 1 MiB, with the dropped second chunk sent again";
}

TEST_F(HostedShareTest, RefusalsAndCancellationLeaveNothingBehind) {
    const auto movie = writeFile("m.mp4", patternBytes(100'000));
    try {
        client(std::nullopt)->upload(movie, ShareRequest{}, {});
        ADD_FAILURE() << "signed out";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Sign in to use Orvane Hosted sharing, or switch to a BYO backend in Settings.");
    }
    EXPECT_EQ(server_.requestCount(), 0u);

    server_.setHandler([](const TestHttpRequest&) {
        return TestHttpResponse::json(413, R"({"detail":"Payload too large: maximum allowed size is 512 MB"})");
    });
    EXPECT_THROW(client()->upload(movie, ShareRequest{}, {}), ShareTooLargeError);

    server_.setHandler([this](const TestHttpRequest& r) { return service_.handle(r); });
    std::stop_source stop;
    service_.onSmallPut = [&] { stop.request_stop(); };
    EXPECT_THROW(client()->upload(movie, ShareRequest{}, stop.get_token()), HttpCancelled);
    EXPECT_TRUE(temporaryFolderEmpty()) << "a cancelled upload leaves no temporary body";

    service_.onSmallPut = {};
    ShareRequest editable;
    editable.sidecar = std::nullopt;
    ShareResult existing;
    existing.shareID = "share-9";
    try {
        client()->update(movie, editable, existing, {});
        ADD_FAILURE() << "no sidecar";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Direct revision upload requires a sidecar.");
    }
}

// The parts of a multipart/form-data body: field name -> (file name, bytes), in order.
std::vector<std::tuple<std::string, std::string, std::string>> formParts(const TestHttpRequest& request) {
    const auto type = request.header("Content-Type").value_or("");
    const auto boundary = "--" + type.substr(type.find("boundary=") + 9);
    std::vector<std::tuple<std::string, std::string, std::string>> parts;
    const auto& body = request.body;
    std::size_t at = body.find(boundary);
    while (at != std::string::npos && body.compare(at + boundary.size(), 2, "--") != 0) {
        const auto headersStart = at + boundary.size() + 2;
        const auto headersEnd = body.find("\r\n\r\n", headersStart);
        const auto headers = body.substr(headersStart, headersEnd - headersStart);
        const auto next = body.find("\r\n" + boundary, headersEnd);
        const auto quoted = [&](const std::string& key) {
            const auto start = headers.find(key + "=\"");
            if (start == std::string::npos) return std::string();
            const auto from = start + key.size() + 2;
            return headers.substr(from, headers.find('"', from) - from);
        };
        parts.emplace_back(quoted("name"), quoted("filename"), body.substr(headersEnd + 4, next - headersEnd - 4));
        at = next + 2;
    }
    return parts;
}

TEST_F(HostedShareTest, AssetsTheServiceHoldsAreSkippedByContentAndTheThumbnailGoesToItsTarget) {
    const auto logo = patternBytes(5'000, 7);
    const auto music = patternBytes(9'000, 8);
    ShareRequest request;
    request.thumbnail = writeFile("thumb.jpg", patternBytes(2'000, 9));
    request.assets = {writeFile("logo.png", logo), writeFile("music.m4a", music)};
    Json start;
    server_.setHandler([&](const TestHttpRequest& r) {
        if (r.path == "/videos/hosted-share/direct-upload") {
            std::lock_guard lock(service_.mutex);
            start = Json::parse(r.body);
            const auto& assets = start["assets"];
            Json answer{{"upload_id", "up-1"},
                        {"video", service_.target("video", "u/v1/video.mp4", "video/mp4")},
                        {"thumbnail", service_.target("thumbnail", "u/v1/thumb.jpg", "image/jpeg")},
                        {"assets", Json::array()},
                        // The logo is already stored; the music is not, and is named only by its digest.
                        {"asset_results",
                         {{{"filename", "logo.png"}, {"sha256", assets[0]["sha256"]}},
                          {{"filename", "other-name.m4a"},
                           {"sha256", assets[1]["sha256"]},
                           {"upload", service_.target("asset", "u/assets/music.m4a", "audio/mp4")}}}}};
            return TestHttpResponse::json(200, answer.dump());
        }
        return service_.handle(r);
    });
    client()->upload(writeFile("m.mp4", patternBytes(50'000)), request, {});

    ASSERT_EQ(start["assets"].size(), 2u);
    EXPECT_EQ(start["assets"][0]["filename"], "logo.png");
    EXPECT_EQ(start["assets"][0]["content_type"], "image/png");
    EXPECT_EQ(start["assets"][0]["size_bytes"], 5'000);
    // Independent of the client's hashing: OpenSSL's one-shot digest of the same bytes.
    EXPECT_EQ(start["assets"][1]["sha256"], sha256Hex(music));
    EXPECT_EQ(start["thumbnail_filename"], "thumb.jpg");
    EXPECT_EQ(start["thumbnail_content_type"], "image/jpeg");
    EXPECT_EQ(start["thumbnail_size_bytes"], 2'000);
    std::lock_guard lock(service_.mutex);
    EXPECT_TRUE(service_.stored["u/assets/music.m4a"] == music);
    EXPECT_EQ(service_.stored.count("u/v1/thumb.jpg"), 1u);
    EXPECT_EQ(service_.stored.size(), 3u) << "video, thumbnail and the one missing asset";
    EXPECT_FALSE(fs::exists(AssetHasher::memoPath(request.assets[1]))) << "no scratch file beside the user's file";
}

TEST_F(HostedShareTest, ABackendWithoutDirectUploadGetsOneFormAndRevisionsReplaceTheShare) {
    const auto movie = patternBytes(300'000, 4);
    const auto sidecar = std::string(R"({"edit":{}})");
    std::vector<TestHttpRequest> forms;
    std::function<void()> duringForm;
    server_.setHandler([&](const TestHttpRequest& r) {
        if (r.path.ends_with("/direct-upload")) return TestHttpResponse::json(404, R"({"detail":"Not Found"})");
        if (r.path == "/videos/hosted-share" || r.path == "/shares/share-9/revision/owner") {
            if (duringForm) {
                duringForm();
                TestHttpResponse slow = TestHttpResponse::json(200, "{}");
                slow.delay = std::chrono::milliseconds(3000);
                return slow;
            }
            forms.push_back(r);
            return TestHttpResponse::json(200, Json{{"video_id", "vid-9"},
                                                    {"share_id", "share-9"},
                                                    {"token", "tok-9"},
                                                    {"url", "https://orvane.app/s/tok-9"},
                                                    {"video_url", "https://cdn/v.mp4"},
                                                    {"video_path", "u/v.mp4"}}
                                                   .dump());
        }
        return TestHttpResponse::json(500, R"({"detail":"unexpected"})");
    });
    ShareRequest request;
    request.title = "Demo";
    request.permission = "view";
    request.width = 1280;
    request.height = 720;
    request.fps = 30;
    request.sidecar = writeFile("sidecar.json", sidecar);
    request.assets = {writeFile("logo.png", "png-bytes")};
    HostedShareOptions options;
    options.temporaryFolder = temp_.path();
    options.teamID = "team-1";
    auto api = std::make_shared<RemoteAPIClient>(server_.baseURL(), transport_,
                                                 [] { return std::optional<std::string>("tok"); });
    HostedAPIShareClient teamClient(
        api, transport_, [] { return std::optional<std::string>("tok"); },
        [](const std::string&) { return std::nullopt; }, options);
    const auto file = writeFile("share.mp4", movie);
    const auto shared = teamClient.upload(file, request, {});
    EXPECT_EQ(shared.url, "https://orvane.app/s/tok-9");

    ASSERT_EQ(forms.size(), 1u);
    EXPECT_EQ(forms[0].header("Authorization"), "Bearer tok");
    EXPECT_TRUE(forms[0].header("Content-Type").value_or("").starts_with("multipart/form-data; boundary=ZantBoundary"));
    std::map<std::string, std::string> text;
    std::vector<std::string> files;
    for (const auto& [name, filename, bytes] : formParts(forms[0])) {
        if (filename.empty()) {
            text[name] = bytes;
        } else {
            files.push_back(name + ":" + filename);
            if (name == "file") {
                EXPECT_TRUE(bytes == movie);
            }
            if (name == "sidecar") {
                EXPECT_EQ(bytes, sidecar);
            }
        }
    }
    EXPECT_EQ(text["title"], "Demo");
    EXPECT_EQ(text["permission"], "view");
    EXPECT_EQ(text["width"], "1280");
    EXPECT_EQ(text["frame_rate"], "30");
    EXPECT_EQ(text["team_id"], "team-1");
    EXPECT_EQ(files, (std::vector<std::string>{"file:share.mp4", "sidecar:sidecar.json", "assets:logo.png"}));
    EXPECT_TRUE(temporaryFolderEmpty());

    teamClient.update(file, request, shared, {});
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(forms[1].path, "/shares/share-9/revision/owner");

    // Cancelled while the form is on its way: the spooled body is gone too.
    std::stop_source stop;
    duringForm = [&] { stop.request_stop(); };
    EXPECT_THROW(teamClient.upload(file, request, stop.get_token()), HttpCancelled);
    EXPECT_TRUE(temporaryFolderEmpty());

    // Any other refusal of the direct upload is not papered over by the form.
    duringForm = {};
    server_.setHandler(
        [](const TestHttpRequest&) { return TestHttpResponse::json(503, R"({"detail":"maintenance"})"); });
    try {
        teamClient.upload(file, request, {});
        ADD_FAILURE() << "503";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "API error (503): maintenance");
    }
    EXPECT_EQ(forms.size(), 2u);
}

TEST(SignedUpload, ResumableEndpointMovesSupabaseHostsToTheirStorageSubdomainOnce) {
    EXPECT_EQ(resumableUploadEndpoint("https://abc.supabase.co/storage/v1/object/upload/sign/b/x.mp4?token=t"),
              "https://abc.storage.supabase.co/storage/v1/upload/resumable");
    EXPECT_EQ(resumableUploadEndpoint("https://abc.storage.supabase.co/storage/v1/object/upload/sign/b/x?token=t"),
              "https://abc.storage.supabase.co/storage/v1/upload/resumable");
    EXPECT_EQ(resumableUploadEndpoint("http://127.0.0.1:8080/x?y"),
              "http://127.0.0.1:8080/storage/v1/upload/resumable");
    EXPECT_THROW(resumableUploadEndpoint("nonsense"), ShareUploadError);
}

TEST(BYOBackendShareClient, UploadsWithTheBearerTokenAndReadsTheLooseAnswers) {
    std::mutex mutex;
    std::string uploadAnswer = R"({"publicUrl":"https://files.example/v.mp4","path":"f/v.mp4"})";
    std::string shareAnswer = R"({"id":"abc 1"})";
    std::string received;
    TestHttpServer server([&](const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.header("Authorization") != "Bearer byo-secret") return TestHttpResponse{401, {}, "who are you"};
        if (request.path == "/uploads") {
            received = request.body;
            return TestHttpResponse::json(200, uploadAnswer);
        }
        if (request.path == "/shares") return TestHttpResponse::json(201, shareAnswer);
        if (request.path == "/health") return TestHttpResponse{200, {}, "ok"};
        if (request.path == "/capabilities") {
            return TestHttpResponse::json(200,
                                          R"({"endpoints":{"/uploads":"POST","/share":"POST"},"max_upload_mb":100})");
        }
        return TestHttpResponse{404, {}, ""};
    });
    TempDir dir;
    const auto movie = dir / "m.mp4";
    std::ofstream(movie, std::ios::binary) << patternBytes(70'000);
    auto transport = std::make_shared<CurlHttpTransport>();
    BYOBackendShareClient client({server.baseURL() + "/ ", "", "byo-secret"}, transport);

    const auto result = client.upload(movie, ShareRequest{}, {});
    EXPECT_EQ(result.url, server.baseURL() + "/shares/abc%201") << "no link in the answer: the share host's page";
    EXPECT_TRUE(received == patternBytes(70'000));
    const auto upload = server.requests()[0];
    EXPECT_EQ(upload.queryValue("filename"), "m.mp4");
    EXPECT_TRUE(upload.queryValue("folder_id"));
    EXPECT_EQ(Json::parse(server.requests()[1].body)["video_url"], "https://files.example/v.mp4");

    {
        std::lock_guard lock(mutex);
        uploadAnswer = R"({"path":"f/v.mp4"})";
    }
    try {
        client.upload(movie, ShareRequest{}, {});
        ADD_FAILURE() << "an answer with only a path";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "BYO upload response must include `url` or `public_url`.");
    }

    const auto check = client.check();
    EXPECT_TRUE(check.ok) << check.message;
    EXPECT_EQ(check.maxUploadBytes, 100'000'000);
    BYOBackendShareClient wrongToken({server.baseURL(), "", "other"}, transport);
    EXPECT_EQ(wrongToken.check().message, "BYO backend health check failed.");
    server.setHandler([](const TestHttpRequest& request) {
        if (request.path == "/health") return TestHttpResponse{200, {}, "ok"};
        return TestHttpResponse::json(200, R"({"capabilities":["upload"]})");
    });
    EXPECT_EQ(client.check().message, "Failed \u00b7 missing uploads/shares capabilities.");
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

using namespace testing;

TEST(SupabaseShareClient, StoresTheFilesThenTheRowAndLinksTheSharePage) {
    std::mutex mutex;
    std::map<std::string, std::string> objects;
    TestHttpServer server([&](const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.header("apikey") != "anon-key-123" || request.header("Authorization") != "Bearer anon-key-123") {
            return TestHttpResponse::json(401, R"({"message":"Invalid JWT"})");
        }
        if (request.path.starts_with("/storage/v1/object/my-bucket/")) {
            if (request.header("x-upsert") != "false") return TestHttpResponse{400};
            objects[request.path] = request.body;
            return TestHttpResponse::json(200, R"({"Key":"ok"})");
        }
        if (request.path == "/rest/v1/my_table" && request.header("Prefer") == "return=minimal") {
            objects["row"] = request.body;
            return TestHttpResponse{201};
        }
        return TestHttpResponse::json(404, R"({"message":"Bucket not found"})");
    });
    TempDir dir;
    const auto movie = dir / "share.mp4";
    std::ofstream(movie, std::ios::binary) << patternBytes(50'000);
    auto transport = std::make_shared<CurlHttpTransport>();
    SupabaseShareConfig config{
        server.baseURL() + "/", "anon-key-123", "my-bucket", "my_table", "https://v.example/", "p"};
    ShareRequest request;
    request.title = "Demo";
    request.permission = "view";
    const auto result = SupabaseShareClient(config, transport).upload(movie, request, {});

    ASSERT_TRUE(result.shareID);
    EXPECT_EQ(result.url, "https://v.example/p/" + *result.shareID);
    const auto object = "/storage/v1/object/my-bucket/exports/" + *result.shareID + "/share.mp4";
    EXPECT_TRUE(objects[object] == patternBytes(50'000));
    const auto row = objects["row"];
    EXPECT_TRUE(row.starts_with("{\"id\":\"" + *result.shareID + "\"")) << "the share id is the row's first key";
    const auto json = Json::parse(row);
    EXPECT_EQ(json["video_path"], "exports/" + *result.shareID + "/share.mp4");
    EXPECT_EQ(json["video_url"],
              server.baseURL() + "/storage/v1/object/public/my-bucket/exports/" + *result.shareID + "/share.mp4");
    EXPECT_EQ(json["visibility"], "public");

    config.bucket = "missing";
    try {
        SupabaseShareClient(config, transport).upload(movie, request, {});
        ADD_FAILURE();
    } catch (const ShareUploadError& error) {
        EXPECT_STREQ(error.what(), "Bucket not found");
    }
    config.anonKey = " ";
    try {
        SupabaseShareClient(config, transport).upload(movie, request, {});
        ADD_FAILURE();
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Sharing is not configured. Add backend URL, access key, and bucket in Settings.");
    }

    const auto script = supabaseSetupScript("team_shares", "team-bucket");
    EXPECT_TRUE(script.starts_with("-- Orvane custom Supabase setup\n"));
    EXPECT_NE(script.find("create table if not exists public.team_shares ("), std::string::npos);
    EXPECT_NE(script.find("\"Orvane anon delete shares\" on public.team_shares"), std::string::npos);
    EXPECT_NE(script.find("named \"team-bucket\""), std::string::npos);
    EXPECT_EQ(script.find("zant_exports"), std::string::npos);
}

}  // namespace
}  // namespace orvane
