#include <gmock/gmock.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>

#include "cli_fixture.h"
#include "support/http_test_server.h"

namespace orvane {
namespace {

using ::testing::HasSubstr;
using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;

constexpr const char* kPassword = "pw-Sup3r-Secret";

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The auth service and the hosted backend with its storage, on loopback, as the real ones answer.
struct CloudServices {
    std::mutex mutex;
    int issued = 0;
    std::string uploaded;
    std::string base;
    // The backend's edit record of the shared video, and what the team routes saw.
    Json editRecord;
    int rejectTokenOnce = 0;  // answer 401 to this many team calls, whatever the token
    std::vector<std::string> accepted;
    Json lastStart;

    TestHttpResponse session() {
        ++issued;
        const auto n = std::to_string(issued);
        return TestHttpResponse::json(200, Json{{"access_token", "access-token-" + n},
                                                {"refresh_token", "refresh-token-" + n},
                                                {"expires_in", 3600},
                                                {"token_type", "bearer"},
                                                {"user", {{"id", "user-1"}, {"email", "ada@example.com"}}}}
                                               .dump());
    }

    TestHttpResponse handle(const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.path == "/auth/v1/token") {
            if (request.queryValue("grant_type") == "password") {
                if (Json::parse(request.body)["password"] != kPassword) {
                    return TestHttpResponse::json(400, R"({"error_description":"Invalid login credentials"})");
                }
            }
            return session();
        }
        if (request.path == "/auth/v1/logout") return {204, {}, ""};
        // Storage trusts its signed URL, not the account's token.
        if (request.method == "PUT") {
            const auto type = request.header("Content-Type").value_or("");
            const auto boundary = type.substr(type.find("boundary=") + 9);
            const auto start = request.body.find("\r\n\r\n") + 4;
            uploaded = request.body.substr(start, request.body.rfind("\r\n--" + boundary + "--") - start);
            return TestHttpResponse::json(200, "{}");
        }
        if (!request.header("Authorization").value_or("").starts_with("Bearer access-token-")) {
            return TestHttpResponse::json(401, R"({"detail":"not signed in"})");
        }
        if (request.path == "/teams" && rejectTokenOnce > 0) {
            --rejectTokenOnce;
            return TestHttpResponse::json(401, R"({"detail":"JWT expired"})");
        }
        if (request.path == "/videos/remote-video-7/edit") {
            if (editRecord.is_null()) return TestHttpResponse::json(404, R"({"detail":"no edits"})");
            return TestHttpResponse::json(200, editRecord.dump());
        }
        if (request.path == "/teams") {
            return TestHttpResponse::json(200, R"([{"id":"t-big","name":"Big Co","role":"member"},
                                                  {"id":"t-me","name":"Ada","is_personal":true,"role":"owner"}])");
        }
        if (request.path == "/teams/t-me/library" || request.path == "/teams/t-big/library") {
            const int offset = std::stoi(request.queryValue("offset").value_or("0"));
            const int count = request.path == "/teams/t-me/library" ? 51 : 1;
            auto page = Json::array();
            for (int i = offset; i < std::min(count, offset + std::stoi(request.queryValue("limit").value_or("0")));
                 ++i) {
                page.push_back({{"video_id", "v" + std::to_string(i)},
                                {"team_id", "t"},
                                {"title", "Video " + std::to_string(i)},
                                {"duration_seconds", 75.4},
                                {"share_id", "s"},
                                {"share_token", "k"},
                                {"share_url", "https://orvane.app/s/k" + std::to_string(i)},
                                {"share_permission", "view"},
                                {"share_view_count", i},
                                {"comments_count", 0},
                                {"reactions_count", 0},
                                {"replies_count", 0},
                                {"unique_viewers", 0},
                                {"total_watch_seconds", 0},
                                {"max_watch_seconds", 0}});
            }
            return TestHttpResponse::json(200, page.dump());
        }
        if (request.path == "/invitations/accept") {
            accepted.push_back(Json::parse(request.body)["token"]);
            return TestHttpResponse{204, {}, ""};
        }
        if (request.path == "/videos/hosted-share/direct-upload") {
            lastStart = Json::parse(request.body, nullptr, false);
            return TestHttpResponse::json(
                200, Json{{"upload_id", "up-1"},
                          {"video",
                           {{"name", "video"},
                            {"path", "u/video.mp4"},
                            {"signed_url", base + "/storage/v1/object/upload/sign/zant-exports/u/video.mp4?token=x"},
                            {"token", "sig"},
                            {"content_type", "video/mp4"}}},
                          {"assets", Json::array()},
                          {"asset_results", Json::array()}}
                         .dump());
        }
        if (request.path == "/videos/hosted-share/direct-upload/up-1/complete") {
            return TestHttpResponse::json(200, Json{{"video_id", "remote-video-7"},
                                                    {"share_id", "share-7"},
                                                    {"token", "share-token-7"},
                                                    {"url", "https://orvane.app/s/share-token-7"},
                                                    {"video_url", "https://cdn.example/v.mp4"},
                                                    {"video_path", "u/video.mp4"},
                                                    {"permission", "view"}}
                                                   .dump());
        }
        return TestHttpResponse::json(404, R"({"detail":"no route"})");
    }
};

class CloudCliTest : public CliTest {
protected:
    CloudCliTest() : server_([this](const TestHttpRequest& r) { return services_.handle(r); }) {
        services_.base = server_.baseURL();
    }

    // The keychain falls back to its file in the config folder: no session bus here.
    std::vector<std::string> environment(const std::string& api) const {
        return {"ORVANE_SERVICE_URL_AUTH=" + server_.baseURL(), "ORVANE_SERVICE_URL_API=" + api,
                "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvane-test-bus"};
    }
    testing::CliResult orvane(const std::vector<std::string>& arguments, const std::optional<std::string>& input = {},
                              std::optional<std::string> api = std::nullopt) {
        return runOrvane(home_.path(), arguments, environment(api.value_or(server_.baseURL())), input);
    }

    std::string importSample() {
        const auto path = sample("rec.mp4", 1.0);
        const auto result = orvane({"import", path.string(), "--json"});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return Json::parse(result.out)["id"].get<std::string>();
    }

    fs::path recordingFolder(const std::string& id) const {
        for (const auto& entry : fs::recursive_directory_iterator(home_ / "data")) {
            if (entry.path().filename() == id) return entry.path();
        }
        return {};
    }

    // A recording that was shared as the backend's "remote-video-7".
    std::string importShared() {
        const auto id = importSample();
        const auto meta = recordingFolder(id) / "meta.json";
        auto json = Json::parse(fileText(meta));
        json["remoteVideoID"] = " remote-video-7\n";
        std::ofstream(meta, std::ios::binary) << json.dump();
        return id;
    }

    // The first value stored under `key` anywhere in the recording's sidecar.
    std::optional<Json> sidecarValue(const std::string& id, const std::string& key) const {
        const auto path = recordingFolder(id) / "sidecar.json";
        if (!fs::exists(path)) return std::nullopt;
        std::function<std::optional<Json>(const Json&)> find = [&](const Json& json) -> std::optional<Json> {
            if (!json.is_object()) return std::nullopt;
            if (json.contains(key)) return json[key];
            for (const auto& [name, value] : json.items()) {
                if (auto found = find(value)) return found;
            }
            return std::nullopt;
        };
        return find(Json::parse(fileText(path)));
    }

    void setEditRecord(Json record) {
        std::lock_guard lock(services_.mutex);
        services_.editRecord = std::move(record);
    }

    CloudServices services_;
    TestHttpServer server_;
};

TEST_F(CloudCliTest, LoginWhoamiLogoutKeepSecretsOutOfFilesAndLogs) {
    auto bad = orvane({"login", "--email", "ada@example.com"}, std::string("wrong-password\n"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(bad.err, HasSubstr("error: Sign-in failed (400): Invalid login credentials"));

    auto login = orvane({"-v", "login", "--email", "ada@example.com"}, std::string(kPassword) + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
    EXPECT_EQ(login.out, "Signed in as ada@example.com\n");

    auto whoami = orvane({"-v", "whoami", "--json"});
    ASSERT_EQ(whoami.exitCode, 0) << whoami.err;
    const auto user = Json::parse(whoami.out);
    EXPECT_EQ(user["signedIn"], true);
    EXPECT_EQ(user["email"], "ada@example.com");

    // Only the keychain holds tokens: no other file, no output and no log line (stderr with -v).
    const std::vector<std::string> secrets{kPassword, "access-token-1", "refresh-token-1", "access-token-2",
                                           "refresh-token-2"};
    for (const auto& entry : fs::recursive_directory_iterator(home_.path())) {
        if (!entry.is_regular_file() || entry.path().filename().string().ends_with(".file.v2")) continue;
        if (entry.path().filename() == ".cli-stdin") continue;
        const auto text = fileText(entry.path());
        for (const auto& secret : secrets)
            EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in " << entry.path();
    }
    for (const auto& secret : secrets) {
        EXPECT_EQ(login.err.find(secret), std::string::npos);
        EXPECT_EQ(whoami.err.find(secret), std::string::npos);
    }

    auto logout = orvane({"logout"});
    EXPECT_EQ(logout.exitCode, 0) << logout.err;
    auto after = orvane({"whoami"});
    EXPECT_EQ(after.exitCode, 3);
    EXPECT_THAT(after.err, HasSubstr("Not signed in."));
    EXPECT_EQ(Json::parse(orvane({"whoami", "--json"}).out), (Json{{"signedIn", false}}));
}

TEST_F(CloudCliTest, ShareUploadsTheExportAndRemembersTheLinkInMeta) {
    const auto id = importSample();
    const auto folder = recordingFolder(id);
    ASSERT_FALSE(folder.empty());

    auto signedOut = orvane({"share", id});
    EXPECT_EQ(signedOut.exitCode, 1);
    EXPECT_THAT(signedOut.err,
                HasSubstr("Sign in to use Orvane Hosted sharing, or switch to a BYO backend in Settings."));

    ASSERT_EQ(orvane({"login", "--email", "ada@example.com"}, std::string(kPassword) + "\n").exitCode, 0);

    // The backend is down: the share fails with the transport's words and the recording is untouched.
    auto contents = [&] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            // The export cache's hash memo of the media beside it is not part of the recording.
            if (entry.path().extension() == ".sha256") continue;
            if (entry.is_regular_file()) files[entry.path().string()] = fileText(entry.path());
        }
        return files;
    };
    const auto metaBefore = fileText(folder / "meta.json");
    const auto recordingBefore = contents();
    auto down = orvane({"share", id}, std::nullopt, testing::unusedLoopbackURL());
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_THAT(down.err, HasSubstr("Could not connect to the server."));
    const auto recordingAfter = contents();
    for (const auto& [path, text] : recordingAfter) {
        EXPECT_TRUE(recordingBefore.count(path) && recordingBefore.at(path) == text) << path << " changed";
    }
    EXPECT_EQ(recordingAfter.size(), recordingBefore.size());

    auto share = orvane({"-v", "share", id, "--permission", "view", "--json"});
    ASSERT_EQ(share.exitCode, 0) << share.err;
    EXPECT_EQ(share.err.find("access-token-"), std::string::npos) << "no token in the log lines";
    EXPECT_EQ(share.err.find("refresh-token-"), std::string::npos);
    const auto result = Json::parse(share.out);
    EXPECT_EQ(result["url"], "https://orvane.app/s/share-token-7");
    EXPECT_EQ(result["remoteVideoID"], "remote-video-7");
    {
        std::lock_guard lock(services_.mutex);
        ASSERT_GT(services_.uploaded.size(), 1000u);
        EXPECT_EQ(services_.uploaded.substr(4, 4), "ftyp") << "the upload is the exported MP4";
        EXPECT_EQ(services_.lastStart["thumbnail_filename"], "thumbnail.png") << "a still of the export";
        EXPECT_GT(services_.lastStart["thumbnail_size_bytes"].get<int>(), 100);
    }
    const auto meta = Json::parse(fileText(folder / "meta.json"));
    EXPECT_EQ(meta["hostedShareToken"], "share-token-7");
    EXPECT_EQ(meta["hostedShareURL"], "https://orvane.app/s/share-token-7");
    EXPECT_EQ(meta["hostedSharePermission"], "view");
    EXPECT_EQ(meta["hostedShareAPIBaseURL"], server_.baseURL());
    EXPECT_EQ(meta["remoteVideoID"], "remote-video-7");
    // Everything else in meta.json is as it was.
    auto before = Json::parse(metaBefore);
    for (const auto& key :
         {"hostedShareToken", "hostedShareURL", "hostedSharePermission", "hostedShareAPIBaseURL", "remoteVideoID"}) {
        before[key] = meta[key];
    }
    EXPECT_EQ(meta, before);

    auto unknownBackend = orvane({"share", id, "--backend", "ftp"});
    EXPECT_EQ(unknownBackend.exitCode, 2);
}

TEST_F(CloudCliTest, SharesToABringYourOwnBackendWithTheTokenFromTheKeychain) {
    std::mutex mutex;
    std::string uploaded;
    TestHttpServer byo([&](const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.header("Authorization") != "Bearer byo-token-123") return TestHttpResponse{401, {}, "bad token"};
        if (request.path == "/uploads") {
            uploaded = request.body;
            return TestHttpResponse::json(200, R"({"public_url":"https://files.example/x.mp4","path":"x.mp4"})");
        }
        if (request.path == "/shares")
            return TestHttpResponse::json(200, R"({"id":"7","share_url":"https://s.example/7"})");
        if (request.path == "/health") return TestHttpResponse{200};
        return TestHttpResponse::json(200, R"({"capabilities":["uploads","shares"]})");
    });
    const auto id = importSample();
    ASSERT_EQ(orvane({"config", "set", "zantBYOBackendURL", byo.baseURL()}).exitCode, 0);
    auto saved = orvane({"byo", "set-token"}, std::string("byo-token-123\n"));
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    auto check = orvane({"byo", "check"});
    EXPECT_EQ(check.exitCode, 0) << check.err;

    auto share = orvane({"share", id, "--backend", "byoHTTP"});
    ASSERT_EQ(share.exitCode, 0) << share.err;
    EXPECT_EQ(share.out, "https://s.example/7\n");
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(uploaded.substr(4, 4), "ftyp");
    }
    EXPECT_EQ(fileText(home_ / "config" / "Orvane" / "preferences.json").find("byo-token-123"), std::string::npos);

    ASSERT_EQ(orvane({"config", "set", "zantCustomSupabaseMetadataTable", "team_clips"}).exitCode, 0);
    EXPECT_THAT(orvane({"supabase", "setup-script"}).out, HasSubstr("create table if not exists public.team_clips ("));
    auto unconfigured = orvane({"share", id, "--backend", "customSupabase"});
    EXPECT_EQ(unconfigured.exitCode, 1);
    EXPECT_THAT(unconfigured.err,
                HasSubstr("Sharing is not configured. Add backend URL, access key, and bucket in Settings."));
}

TEST_F(CloudCliTest, PullEditsAppliesTheBackendsRecordOnceOrWhileWatching) {
    const auto unshared = importSample();
    auto notShared = orvane({"pull-edits", unshared});
    EXPECT_EQ(notShared.exitCode, 3);
    EXPECT_THAT(notShared.err, HasSubstr("This recording has not been shared, so it has no remote edits."));

    const auto id = importShared();
    setEditRecord({{"video_id", "remote-video-7"}, {"updated_at", "2026-12-01T10:00:00.5Z"}, {"inset", 0.08}});
    auto signedOut = orvane({"pull-edits", id});
    EXPECT_EQ(signedOut.exitCode, 1);
    EXPECT_THAT(signedOut.err, HasSubstr("Not signed in. Run `orvane login --email ADDRESS`."));

    ASSERT_EQ(orvane({"login", "--email", "ada@example.com"}, std::string(kPassword) + "\n").exitCode, 0);
    auto pulled = orvane({"pull-edits", id});
    ASSERT_EQ(pulled.exitCode, 0) << pulled.err;
    EXPECT_EQ(pulled.out, "Applied the latest remote edits.\n");
    EXPECT_EQ(sidecarValue(id, "inset"), Json(0.08));
    EXPECT_EQ(orvane({"pull-edits", id}).out, "Already up to date.\n") << "the applied date was saved";

    // A backend that is down or cuts its answer short changes nothing.
    const auto sidecar = fileText(recordingFolder(id) / "sidecar.json");
    setEditRecord({{"video_id", "remote-video-7"}, {"updated_at", "2026-12-02T00:00:00Z"}, {"inset", 0.2}});
    auto down = orvane({"pull-edits", id}, std::nullopt, testing::unusedLoopbackURL());
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_THAT(down.err, HasSubstr("Couldn't fetch the remote edits: Could not connect to the server."));
    TestHttpServer cutShort([](const TestHttpRequest&) {
        auto answer =
            TestHttpResponse::json(200, R"({"video_id":"remote-video-7","updated_at":"2026-12-03T00:00:00Z"})");
        answer.truncate = true;
        return answer;
    });
    EXPECT_EQ(orvane({"pull-edits", id}, std::nullopt, cutShort.baseURL()).exitCode, 1);
    EXPECT_EQ(fileText(recordingFolder(id) / "sidecar.json"), sidecar);

    // Watching: the change made meanwhile arrives with the poll, and Ctrl-C ends cleanly.
    setEditRecord({{"video_id", "remote-video-7"}, {"updated_at", "2026-12-01T10:00:00.5Z"}, {"inset", 0.08}});
    testing::OrvaneProcess watch(home_.path(), {"pull-edits", id, "--watch"}, environment(server_.baseURL()), "watch");
    ASSERT_TRUE(watch.waitForError("Watching for remote edits of remote-video-7"));
    setEditRecord({{"video_id", "remote-video-7"}, {"updated_at", "2026-12-04T00:00:00Z"}, {"corner_radius", 3.0}});
    ASSERT_TRUE(watch.waitForError("Agent updated this video"));
    watch.signal(SIGINT);
    const auto watched = watch.wait();
    EXPECT_EQ(watched.exitCode, 0) << watched.err;
    EXPECT_EQ(sidecarValue(id, "cornerRadius"), Json(3.0));
    for (const auto& secret : {"access-token-", "refresh-token-"}) {
        EXPECT_EQ(watched.err.find(secret), std::string::npos);
        EXPECT_EQ(down.err.find(secret), std::string::npos);
    }
}

TEST_F(CloudCliTest, TeamsLibraryAndInvitationsRefreshAnExpiredTokenOnce) {
    auto signedOut = orvane({"teams"});
    EXPECT_EQ(signedOut.exitCode, 1);
    EXPECT_THAT(signedOut.err, HasSubstr("Not signed in."));
    ASSERT_EQ(orvane({"login", "--email", "ada@example.com"}, std::string(kPassword) + "\n").exitCode, 0);

    {
        std::lock_guard lock(services_.mutex);
        services_.rejectTokenOnce = 1;
    }
    auto teams = orvane({"teams", "--json"});
    ASSERT_EQ(teams.exitCode, 0) << teams.err;
    const auto list = Json::parse(teams.out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["id"], "t-me");
    EXPECT_EQ(list[1]["isPersonal"], true);
    {
        std::lock_guard lock(services_.mutex);
        EXPECT_EQ(services_.issued, 2) << "sign-in, then one refresh after the 401";
        services_.rejectTokenOnce = 2;
    }
    auto stillRejected = orvane({"teams"});
    EXPECT_EQ(stillRejected.exitCode, 1) << "a second 401 is not retried again";
    EXPECT_THAT(stillRejected.err, HasSubstr("API error (401): JWT expired"));

    auto library = orvane({"library", "--json"});
    ASSERT_EQ(library.exitCode, 0) << library.err;
    const auto videos = Json::parse(library.out);
    EXPECT_EQ(videos["team"]["id"], "t-me") << "the personal team by default";
    ASSERT_EQ(videos["videos"].size(), 51u) << "every page";
    EXPECT_EQ(videos["videos"][50]["shareURL"], "https://orvane.app/s/k50");
    auto byName = orvane({"library", "--team", "big co"});
    ASSERT_EQ(byName.exitCode, 0) << byName.err;
    EXPECT_THAT(byName.out, HasSubstr("Video 0"));
    EXPECT_THAT(byName.out, HasSubstr("1:15"));
    EXPECT_EQ(orvane({"library", "--team", "nobody"}).exitCode, 3);

    auto accept = orvane({"invite", "accept", " inv-code-1 "});
    ASSERT_EQ(accept.exitCode, 0) << accept.err;
    EXPECT_EQ(accept.out, "Invitation accepted.\n");
    std::lock_guard lock(services_.mutex);
    EXPECT_EQ(services_.accepted, std::vector<std::string>{"inv-code-1"});
}

TEST_F(CloudCliTest, AnalyticsReportExportsOnlyWhenAllowedAndSwitchedOn) {
    std::mutex mutex;
    std::vector<Json> events;
    TestHttpServer posthog([&](const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        events.push_back(Json::parse(request.body, nullptr, false));
        return TestHttpResponse::json(200, R"({"status":1})");
    });
    const auto id = importSample();
    auto env = environment(server_.baseURL());
    env.push_back("ORVANE_SERVICE_URL_ANALYTICS=" + posthog.baseURL());
    env.push_back("ORVANE_TEST=1");
    auto exportTo = [&](const std::string& name, const std::vector<std::string>& extra) {
        auto all = env;
        all.insert(all.end(), extra.begin(), extra.end());
        return testing::runOrvane(home_.path(), {"export", id, "--out", (home_ / name).string()}, all);
    };

    auto quiet = exportTo("a.mp4", {});
    ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(posthog.requestCount(), 0u) << "test runs report nothing unless asked";

    auto reported = exportTo("b.mp4", {"ORVANE_ANALYTICS=1"});
    ASSERT_EQ(reported.exitCode, 0) << reported.err;
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(events.size(), 2u) << "the last events leave before the command exits";
        EXPECT_EQ(events[0]["event"], "desktop_export_started");
        EXPECT_EQ(events[1]["event"], "desktop_export_completed");
        EXPECT_EQ(events[1]["properties"]["duration_bucket"], "under_10s");
        EXPECT_EQ(events[1]["properties"]["platform"], "linux");
        EXPECT_TRUE(events[1]["distinct_id"].get<std::string>().starts_with("install:"));
        EXPECT_EQ(events[1]["properties"].dump().find((home_ / "b.mp4").string()), std::string::npos)
            << "no file names";
    }

    auto runWith = [&](const std::vector<std::string>& arguments) {
        auto all = env;
        all.push_back("ORVANE_ANALYTICS=1");
        return testing::runOrvane(home_.path(), arguments, all);
    };
    ASSERT_EQ(runWith({"config", "set", "orvaneProductAnalyticsEnabled", "false"}).exitCode, 0);
    ASSERT_EQ(exportTo("c.mp4", {"ORVANE_ANALYTICS=1"}).exitCode, 0);
    EXPECT_EQ(posthog.requestCount(), 2u) << "switched off in the preferences";
    ASSERT_EQ(runWith({"config", "set", "orvaneProductAnalyticsEnabled", "true"}).exitCode, 0);
    std::lock_guard lock(mutex);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]["event"], "desktop_analytics_enabled");
}

}  // namespace
}  // namespace orvane
