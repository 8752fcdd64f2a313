#include <fstream>
#include <sstream>
#include <thread>

#include "cloud/auth_store.h"
#include "cloud_fixture.h"

namespace orvane {
namespace {

using namespace testing;

// A small auth service: password "right" signs in, refresh tokens listed in `validRefresh` work.
struct AuthService {
    std::mutex mutex;
    std::set<std::string> validRefresh{"refresh-0"};
    int issued = 0;
    int refreshCalls = 0;
    std::chrono::milliseconds refreshDelay{0};
    int refreshStatus = 200;

    TestHttpResponse handle(const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.path == "/auth/v1/token" && request.queryValue("grant_type") == "password") {
            const auto body = Json::parse(request.body);
            if (body["password"] == "unconfirmed") {
                return TestHttpResponse::json(400,
                                              R"({"error":"invalid_grant","error_description":"Email_not_confirmed"})");
            }
            if (body["password"] != "right") {
                return TestHttpResponse::json(400, Json{{"error_description", "Invalid login credentials for " +
                                                                                  body["password"].get<std::string>()}}
                                                       .dump());
            }
            return issue();
        }
        if (request.path == "/auth/v1/token" && request.queryValue("grant_type") == "refresh_token") {
            ++refreshCalls;
            const auto token = Json::parse(request.body)["refresh_token"].get<std::string>();
            if (refreshStatus != 200) return TestHttpResponse::json(refreshStatus, R"({"msg":"Supabase says no"})");
            if (!validRefresh.count(token)) return TestHttpResponse::json(401, R"({"error":"invalid refresh token"})");
            validRefresh.erase(token);
            auto response = issue();
            response.delay = refreshDelay;
            return response;
        }
        if (request.path == "/auth/v1/logout") return TestHttpResponse{204, {}, ""};
        if (request.path == "/auth/v1/user") return TestHttpResponse::json(200, userJson().dump());
        return TestHttpResponse::json(404, R"({"msg":"no such route"})");
    }

    // Changes the service's behaviour between requests, under the lock its handler takes.
    template <typename Change>
    void change(Change apply) {
        std::lock_guard lock(mutex);
        apply();
    }

    TestHttpResponse issue() {
        ++issued;
        const auto refresh = "refresh-" + std::to_string(issued);
        validRefresh.insert(refresh);
        return TestHttpResponse::json(200, sessionJson("access-" + std::to_string(issued), refresh, 3600).dump());
    }
};

class AuthTest : public ::testing::Test {
protected:
    AuthTest() : server_([this](const TestHttpRequest& request) { return service_.handle(request); }) {}

    std::shared_ptr<SupabaseAuthClient> client(const std::string& base) {
        return std::make_shared<SupabaseAuthClient>(SupabaseAuthConfig{base, "anon-key", std::nullopt},
                                                    std::make_shared<CurlHttpTransport>());
    }
    std::unique_ptr<AuthStore> store(const std::string& base) {
        return std::make_unique<AuthStore>(client(base), secrets_, prefs_.storedSession(), prefs_.keepSession(),
                                           clock_);
    }
    std::unique_ptr<AuthStore> store() { return store(server_.baseURL()); }

    std::string preferencesText() {
        std::ifstream in(prefs_.dir / "preferences.json");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    AuthService service_;
    TestHttpServer server_;
    MemorySecretStore secrets_;
    TempPreferences prefs_;
    FakeClock clock_;
};

TEST_F(AuthTest, ClientSpeaksTheAuthServiceAndMapsItsErrors) {
    auto auth = client(server_.baseURL() + "//");
    const auto session = auth->signIn("ada@example.com", "right");
    EXPECT_EQ(session.accessToken, "access-1");
    EXPECT_EQ(session.expiresIn, 3600);
    EXPECT_EQ(session.user.email, "ada@example.com");
    EXPECT_EQ(auth->fetchUser(session.accessToken).id, "user-1");
    auth->signOut(session.accessToken);

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "/auth/v1/token?grant_type=password") << "two slashes in the base URL become one";
    EXPECT_EQ(requests[0].header("apikey"), "anon-key");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
    EXPECT_EQ(Json::parse(requests[0].body), (Json{{"email", "ada@example.com"}, {"password", "right"}}));
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].header("Authorization"), "Bearer access-1");
    EXPECT_FALSE(requests[1].header("Content-Type"));
    EXPECT_EQ(requests[2].path, "/auth/v1/logout");
    EXPECT_EQ(requests[2].header("Authorization"), "Bearer access-1");

    auto errorOf = [&](auto call) -> SupabaseAuthError {
        try {
            call();
        } catch (const SupabaseAuthError& error) {
            return error;
        }
        ADD_FAILURE() << "no error";
        return SupabaseAuthError::invalidResponse();
    };
    const auto unconfirmed = errorOf([&] { auth->signIn("ada@example.com", "unconfirmed"); });
    EXPECT_TRUE(unconfirmed.isEmailNotConfirmed());
    EXPECT_STREQ(unconfirmed.what(),
                 "Verify your email to continue. Check your inbox and spam folder for the confirmation link, then sign "
                 "in.");
    // A server that echoes the password back never gets it on screen.
    const auto wrong = errorOf([&] { auth->signIn("ada@example.com", "hunter22"); });
    EXPECT_STREQ(wrong.what(), "Sign-in failed (400): Invalid login credentials for [redacted]");
    EXPECT_EQ(wrong.reasonCode(), "supabase_http_400");
    EXPECT_FALSE(wrong.isExplicitRejection());

    service_.change([&] { service_.refreshStatus = 500; });
    const auto down = errorOf([&] { auth->refresh("refresh-1"); });
    EXPECT_STREQ(down.what(), "Sign-in failed (500): auth service says no");

    TestHttpServer garbage([](const TestHttpRequest&) { return TestHttpResponse::json(200, R"({"access_token":1})"); });
    const auto decoding = errorOf([&] { client(garbage.baseURL())->signIn("a", "b"); });
    EXPECT_EQ(decoding.kind(), SupabaseAuthError::Kind::decoding);
    EXPECT_TRUE(std::string(decoding.what()).starts_with("Could not decode response: "));

    const auto unreachable = errorOf([&] { client(unusedLoopbackURL())->signIn("a", "b"); });
    EXPECT_EQ(unreachable.reasonCode(), "supabase_underlying");
    EXPECT_STREQ(unreachable.what(), "Could not connect to the server.");
    EXPECT_STREQ(errorOf([&] { client("not a url")->signIn("a", "b"); }).what(), "Invalid auth configuration.");
}

TEST_F(AuthTest, SignInKeepsTokensInTheKeychainAndNeverInPreferencesOrLogs) {
    LogCapture logs;
    auto auth = store();
    auth->signIn("ada@example.com", "right");
    ASSERT_EQ(auth->status().kind, AuthStatus::Kind::signedIn);
    EXPECT_EQ(auth->user()->email, "ada@example.com");
    EXPECT_EQ(secrets_.read(kAccessTokenAccount), "access-1");
    EXPECT_EQ(secrets_.read(kRefreshTokenAccount), "refresh-1");
    EXPECT_EQ(prefs_.preferences.authExpiresAt(), "2026-12-01T01:00:00Z");
    ASSERT_TRUE(prefs_.preferences.authCachedUser());
    EXPECT_EQ(decodeAuthUser(*prefs_.preferences.authCachedUser())->id, "user-1");

    // A later launch refreshes, then a bad password and an unconfirmed address change only the status.
    auto relaunched = store();
    relaunched->bootstrap();
    EXPECT_EQ(relaunched->status().kind, AuthStatus::Kind::signedIn);
    relaunched->signIn("ada@example.com", "unconfirmed");
    EXPECT_EQ(relaunched->status().kind, AuthStatus::Kind::awaitingEmailConfirmation);
    EXPECT_EQ(relaunched->status().text, "ada@example.com");
    relaunched->signIn("ada@example.com", "wrong-password");
    EXPECT_EQ(relaunched->status().kind, AuthStatus::Kind::error);
    relaunched->signOutExplicitly();

    const auto text = preferencesText();
    for (const std::string secret : {"access-1", "refresh-1", "access-2", "refresh-2", "right", "wrong-password"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in preferences.json";
        for (const auto& line : logs.lines()) EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
    EXPECT_TRUE(logs.contains("[Orvane.Auth] explicit sign-out from Settings"));
}

TEST_F(AuthTest, ATokenNearItsExpiryIsRefreshedOnceHoweverManyAsk) {
    auto auth = store();
    auth->signIn("ada@example.com", "right");
    const auto signedInAt = clock_.wallNow();

    clock_.set(signedInAt + std::chrono::seconds(3600 - 40));
    EXPECT_EQ(auth->validAccessToken(), "access-1") << "40 seconds left: the stored token";
    EXPECT_EQ(service_.refreshCalls, 0);  // read between requests

    clock_.set(signedInAt + std::chrono::seconds(3600 - 20));
    service_.change([&] { service_.refreshDelay = std::chrono::milliseconds(300); });
    std::vector<std::optional<std::string>> tokens(8);
    std::vector<std::thread> callers;
    for (auto& token : tokens) callers.emplace_back([&] { token = auth->validAccessToken(); });
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(service_.refreshCalls, 1) << "one refresh for every caller";
    for (const auto& token : tokens) EXPECT_EQ(token, "access-2");
    EXPECT_EQ(secrets_.read(kRefreshTokenAccount), "refresh-2") << "the rotated refresh token is kept";

    // A 401 on access-2 refreshes once; a second caller still holding access-2 gets the new token too.
    service_.change([&] { service_.refreshDelay = {}; });
    EXPECT_EQ(auth->refreshAfterRejection("access-2"), "access-3");
    EXPECT_EQ(auth->refreshAfterRejection("access-2"), "access-3");
    EXPECT_EQ(service_.refreshCalls, 2);
}

TEST_F(AuthTest, ARejectedRefreshSignsOutWithItsLogLine) {
    LogCapture logs;
    std::vector<std::string> recorded;
    auto auth = std::make_unique<AuthStore>(
        client(server_.baseURL()), secrets_, prefs_.storedSession(), prefs_.keepSession(), clock_,
        [&](const std::string& kind, const std::string& reason) { recorded.push_back(kind + ":" + reason); });
    auth->signIn("ada@example.com", "right");
    clock_.set(clock_.wallNow() + std::chrono::hours(2));
    service_.change([&] { service_.validRefresh.clear(); });  // the service revoked the session
    EXPECT_THROW(auth->validAccessToken(), SupabaseAuthError);
    EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedOut);
    EXPECT_FALSE(secrets_.read(kAccessTokenAccount));
    EXPECT_FALSE(secrets_.read(kRefreshTokenAccount));
    EXPECT_FALSE(prefs_.preferences.authCachedUser());
    EXPECT_FALSE(prefs_.preferences.authExpiresAt());
    EXPECT_TRUE(logs.contains("[Orvane.Auth] implicit sign-out: refresh_explicit_auth_rejection_supabase_http_401"));
    EXPECT_EQ(recorded, std::vector<std::string>{"implicit:refresh_explicit_auth_rejection_supabase_http_401"});
    EXPECT_EQ(auth->validAccessToken(), std::nullopt) << "signed out: nothing to hand out";
}

TEST_F(AuthTest, LaunchKeepsOrDropsTheSessionByTheKindOfFailure) {
    const std::string cachedUser = encodeAuthUser({"user-1", "ada@example.com", {}, {}, {}});
    {
        LogCapture logs;
        auto auth = store();
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedOut);
        EXPECT_TRUE(logs.contains("[Orvane.Auth] implicit sign-out: bootstrap_no_token_no_cached_user"));
    }
    {
        LogCapture logs;
        prefs_.preferences.setAuthCachedUser(cachedUser);
        auto auth = store();
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedIn);
        EXPECT_TRUE(
            logs.contains("[Orvane.Auth] bootstrap kept session: kept_signed_in_keychain_nil_with_cached_user"));
    }
    {
        // The network is down: the cached user stays signed in and the tokens stay.
        LogCapture logs;
        secrets_.write(kRefreshTokenAccount, "refresh-0");
        auto auth = store(unusedLoopbackURL());
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedIn);
        EXPECT_EQ(secrets_.read(kRefreshTokenAccount), "refresh-0");
        EXPECT_TRUE(
            logs.contains("[Orvane.Auth] bootstrap kept session: kept_signed_in_transient_supabase_underlying"));
    }
    {
        LogCapture logs;
        prefs_.store.remove(preference_keys::authCachedUser);
        auto auth = store(unusedLoopbackURL());
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedOut);
        EXPECT_TRUE(logs.contains("implicit sign-out: bootstrap_transient_no_cached_user_supabase_underlying"));
    }
    {
        // The service refuses the refresh token: signed out even with a cached user.
        LogCapture logs;
        prefs_.preferences.setAuthCachedUser(cachedUser);
        secrets_.write(kRefreshTokenAccount, "revoked");
        auto auth = store();
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedOut);
        EXPECT_FALSE(prefs_.preferences.authCachedUser());
        EXPECT_FALSE(secrets_.read(kRefreshTokenAccount));
        EXPECT_TRUE(logs.contains("implicit sign-out: bootstrap_explicit_auth_rejection_supabase_http_401"));
    }
    {
        // A valid refresh token at launch: a new session.
        secrets_.write(kRefreshTokenAccount, "refresh-0");
        auto auth = store();
        auth->bootstrap();
        EXPECT_EQ(auth->status().kind, AuthStatus::Kind::signedIn);
        EXPECT_EQ(secrets_.read(kAccessTokenAccount), "access-1");
    }
}

TEST_F(AuthTest, ExplicitSignOutForgetsTheSessionEvenWhenTheServiceIsDown) {
    auto auth = store();
    auth->signIn("ada@example.com", "right");
    auto offline = store(unusedLoopbackURL());
    offline->bootstrap();
    offline->signOutExplicitly();
    EXPECT_EQ(offline->status().kind, AuthStatus::Kind::signedOut);
    EXPECT_FALSE(secrets_.read(kAccessTokenAccount));
    EXPECT_FALSE(secrets_.read(kRefreshTokenAccount));
    EXPECT_FALSE(prefs_.preferences.authCachedUser());
}

}  // namespace
}  // namespace orvane
