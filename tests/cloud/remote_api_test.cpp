#include "cloud/auth_store.h"
#include "cloud/remote_api_client.h"
#include "cloud_fixture.h"

namespace orvane {
namespace {

using namespace testing;

std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

RemoteAPIClient clientFor(const std::string& base, std::optional<std::string> token = "tok-abc123def") {
    return RemoteAPIClient(base, std::make_shared<CurlHttpTransport>(), [token] { return token; });
}

TEST(RemoteAPIClient, BuildsAuthenticatedRequestsAndMapsEveryFailureWordForWord) {
    TestHttpServer server([](const TestHttpRequest& request) {
        if (request.path == "/teams") return TestHttpResponse::json(403, R"({"detail":"SUPABASE row policy denied"})");
        if (request.path == "/teams/t%201/usage") return TestHttpResponse{500, {}, "upstream exploded"};
        if (request.path == "/teams/t1/members") return TestHttpResponse::json(200, R"([{"team_id":"t1"}])");
        if (request.path == "/teams/t1/library") return TestHttpResponse::json(200, "[]");
        if (request.path == "/videos/unknown/edit") return TestHttpResponse::json(404, R"({"detail":"not found"})");
        if (request.path == "/videos/v1/edit" && request.method == "GET") {
            return TestHttpResponse::json(
                200, R"({"video_id":"v1","trim_start":1.5,"zoom_regions":[{"start":0}],"future_key":{"x":1}})");
        }
        if (request.path == "/videos/v1/edit") return TestHttpResponse::json(200, R"({"ok":true,"command":"set"})");
        if (request.path == "/shares/s1") return TestHttpResponse{204, {}, ""};
        if (request.path == "/echo") return TestHttpResponse{400, {}, "bad token tok-abc123def"};
        return TestHttpResponse::json(200, R"({"detail":"unexpected"})");
    });
    auto api = clientFor(server.baseURL() + "/");

    EXPECT_EQ(messageOf([&] { api.teams(); }), "API error (403): backend row policy denied");
    EXPECT_EQ(messageOf([&] { api.teamUsage("t 1"); }), "API error (500): upstream exploded");
    EXPECT_EQ(messageOf([&] { api.teamMembers("t1"); }),
              "Could not decode response: ZantTeamMember has no \"user_id\".");
    EXPECT_TRUE(api.teamLibrary("t1", 50, 100).empty());
    EXPECT_EQ(api.videoEdits("unknown"), std::nullopt) << "404: no edits rather than an error";
    const auto edits = api.videoEdits("v1");
    ASSERT_TRUE(edits);
    EXPECT_EQ(edits->videoID, "v1");
    EXPECT_EQ(edits->fields["future_key"]["x"], 1) << "keys the client does not know pass through";
    const auto set = api.setEdits("v1", Json{{"trim_start", 2.0}});
    EXPECT_TRUE(set.ok);
    EXPECT_EQ(set.command, "set");
    api.deleteShare("s1");
    // A server echoing the request never puts the token in an error.
    EXPECT_EQ(messageOf([&] {
                  api.send({"GET", {"echo"}, {}, std::nullopt});
              }),
              "API error (400): bad token [redacted]");

    const auto requests = server.requests();
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok-abc123def");
    EXPECT_EQ(requests[0].header("Accept"), "application/json");
    EXPECT_EQ(requests[3].path, "/teams/t1/library");
    EXPECT_EQ(requests[3].queryValue("limit"), "50");
    EXPECT_EQ(requests[3].queryValue("offset"), "100");
    const auto& setEdit = requests[6];
    EXPECT_EQ(setEdit.method, "POST");
    EXPECT_EQ(setEdit.header("Content-Type"), "application/json");
    EXPECT_EQ(Json::parse(setEdit.body), (Json{{"params", {{"trim_start", 2.0}}}}));
    EXPECT_EQ(requests[7].method, "DELETE");

    const auto before = server.requestCount();
    EXPECT_EQ(messageOf([&] { clientFor(server.baseURL(), "").teams(); }), "Not signed in.");
    EXPECT_EQ(messageOf([&] { clientFor(server.baseURL(), std::nullopt).teams(); }), "Not signed in.");
    EXPECT_EQ(messageOf([&] { clientFor(server.baseURL(), std::string(8192, 'x')).teams(); }), "Not signed in.");
    EXPECT_EQ(messageOf([&] { clientFor("not a url").teams(); }), "Invalid API URL.");
    EXPECT_EQ(server.requestCount(), before) << "nothing is sent without a usable token and URL";

    try {
        clientFor(server.baseURL(), "").teams();
    } catch (const std::exception& error) {
        EXPECT_EQ(describeForService(error, "Orvane"), "Couldn't reach Orvane right now. Try again.");
    }
}

TEST(RemoteAPIClient, HostedGeneratorsAndConnectionsSendTheirFieldsAndReadTheirRecords) {
    TestHttpServer server([](const TestHttpRequest& request) {
        if (request.path == "/ai/script") {
            return TestHttpResponse::json(200, R"({"script":"Hi","provider":"p","model_id":"m","billing_class":"b"})");
        }
        if (request.path == "/me/connections") {
            return TestHttpResponse::json(200,
                                          R"([{"provider":"twitter","provider_username":null,"scopes":["tweet.write"],
                "created_at":"2026-01-01T00:00:00Z","updated_at":"2026-01-02T00:00:00Z"}])");
        }
        if (request.path == "/videos/v1/edit") return TestHttpResponse::json(200, R"({"ok":true,"command":"audio"})");
        if (request.path == "/oauth/twitter/start") {
            return TestHttpResponse::json(200, R"({"authorize_url":"https://x.example/a","provider":"twitter",
                "expires_in_seconds":"600"})");
        }
        return TestHttpResponse::json(404, "{}");
    });
    auto api = clientFor(server.baseURL());
    HostedAIRequest request;
    request.provider = "openai";
    request.length = "short";
    request.audience = "developers";
    request.style = "casual";
    request.durationSeconds = 42.0;
    EXPECT_EQ(api.aiScript(request).script, "Hi");
    const auto connections = api.connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].scopes, std::vector<std::string>{"tweet.write"});
    EXPECT_FALSE(connections[0].providerUsername);
    api.setAudioEnhancement("v1", "voice", -16.0);
    api.setAudioEnhancement("v1", std::nullopt, std::nullopt);
    EXPECT_EQ(messageOf([&] { api.startXAuthorization(); }),
              "Could not decode response: ZantOAuthStart \"expires_in_seconds\" is not a whole number.");

    const auto requests = server.requests();
    const auto script = Json::parse(requests[0].body);
    EXPECT_EQ(script, (Json{{"provider", "openai"},
                            {"length", "short"},
                            {"audience", "developers"},
                            {"style", "casual"},
                            {"duration_seconds", 42.0}}))
        << "fields not known are left out";
    EXPECT_EQ(Json::parse(requests[2].body),
              (Json{{"params", {{"audio_enhance", {{"preset", "voice"}, {"target_lufs", -16.0}}}}}}));
    EXPECT_EQ(Json::parse(requests[3].body), (Json{{"params", {{"audio_enhance", nullptr}}}}));
}

TEST(RemoteAPIClient, TransportFailuresAndTruncatedAnswersKeepTheirOwnMessages) {
    TestHttpServer server([](const TestHttpRequest& request) {
        TestHttpResponse response = TestHttpResponse::json(200, R"([{"id":"t1","name":"Team"}])");
        response.truncate = request.path == "/teams" && request.queryValue("cut").has_value();
        return response;
    });
    auto api = clientFor(server.baseURL());
    ASSERT_EQ(api.teams().size(), 1u);
    EXPECT_EQ(messageOf([&] {
                  api.send({"GET", {"teams"}, {{"cut", "1"}}, std::nullopt});
              }),
              "The network connection was lost.");
    EXPECT_EQ(messageOf([&] { clientFor(unusedLoopbackURL()).teams(); }), "Could not connect to the server.");
}

TEST(RemoteAPIClient, A401IsCuredByOneRefreshAndNeverRetriedMore) {
    // The auth service hands out access-N; the backend accepts only tokens it issued, and access-1
    // was revoked before its expiry.
    std::mutex mutex;
    int issued = 1;
    std::set<std::string> accepted;
    TestHttpServer authServer([&](const TestHttpRequest&) {
        std::lock_guard lock(mutex);
        ++issued;
        accepted.insert("access-" + std::to_string(issued));
        return TestHttpResponse::json(
            200, sessionJson("access-" + std::to_string(issued), "refresh-" + std::to_string(issued)).dump());
    });
    TestHttpServer backend([&](const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        const auto header = request.header("Authorization").value_or("");
        if (!header.starts_with("Bearer ") || !accepted.count(header.substr(7))) {
            return TestHttpResponse::json(401, R"({"detail":"JWT expired"})");
        }
        return TestHttpResponse::json(200, "[]");
    });
    MemorySecretStore secrets;
    TempPreferences prefs;
    FakeClock clock;
    secrets.write(kAccessTokenAccount, "access-1");
    secrets.write(kRefreshTokenAccount, "refresh-1");
    prefs.preferences.setAuthExpiresAt("2026-12-01T01:00:00Z");
    AuthStore account(std::make_shared<SupabaseAuthClient>(SupabaseAuthConfig{authServer.baseURL(), "anon", {}},
                                                           std::make_shared<CurlHttpTransport>()),
                      secrets, prefs.storedSession(), prefs.keepSession(), clock);
    RemoteAPIClient::TokenProvider token = [&] { return account.validAccessToken(); };
    RefreshAfterRejection refresh = [&](const std::string& rejected) {
        return account.refreshAfterRejection(rejected);
    };
    RemoteAPIClient api(backend.baseURL(), std::make_shared<CurlHttpTransport>(), token);

    EXPECT_TRUE(withOneRefresh(token, refresh, [&] { return api.teams(); }).empty());
    EXPECT_EQ(authServer.requestCount(), 1u);
    EXPECT_EQ(backend.requestCount(), 2u);
    EXPECT_EQ(secrets.read(kAccessTokenAccount), "access-2");

    // A backend that refuses every token: one refresh, one retry, then the 401 is the caller's.
    backend.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json(401, R"({"detail":"nope"})"); });
    EXPECT_EQ(messageOf([&] { withOneRefresh(token, refresh, [&] { return api.teams(); }); }), "API error (401): nope");
    EXPECT_EQ(authServer.requestCount(), 2u);
    EXPECT_EQ(backend.requestCount(), 4u);
}

}  // namespace
}  // namespace orvane
