#include "app/analytics.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <system_error>

#include "app/preferences.h"
#include "app/recording_analytics.h"
#include "base/manual_executor.h"
#include "net/curl_http_transport.h"
#include "platform/linux/json_preferences_store.h"
#include "support/http_test_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Json = nlohmann::json;
using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;

class AnalyticsTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
    ManualExecutor background;
    TestHttpServer server{[](const TestHttpRequest&) { return TestHttpResponse::json(200, R"({"status":1})"); }};

    AnalyticsSettings settings(bool allowed = true) {
        AnalyticsSettings s;
        s.projectToken = "phc_testtoken";
        s.host = server.baseURL() + "/";
        s.buildChannel = "beta";
        s.appInfo = {"1.2.3", "45", "orvane", "Linux 6.1"};
        s.allowed = allowed;
        s.shutdownGrace = Duration::zero();  // the test's executor runs nothing on its own
        return s;
    }
    std::vector<Json> sent() {
        background.runPending();
        std::vector<Json> bodies;
        for (const auto& request : server.requests()) {
            EXPECT_EQ(request.method, "POST");
            EXPECT_EQ(request.path, "/capture/");
            EXPECT_EQ(request.header("Content-Type"), "application/json");
            bodies.push_back(Json::parse(request.body));
        }
        return bodies;
    }
};

TEST_F(AnalyticsTest, EventsCarryTheIdentityAndCommonPropertiesAndStopWhenSwitchedOff) {
    AppAnalyticsClient client(settings(), preferences, std::make_shared<CurlHttpTransport>(), background, background);
    EXPECT_TRUE(client.isEnabled()) << "absent preference reads as on";

    client.track(AnalyticsEvent::exportCompleted, {{"duration_bucket", std::string("10s_30s")}, {"frames", 12LL}});
    EXPECT_EQ(server.requestCount(), 0u) << "track returns before anything is sent";
    auto bodies = sent();
    ASSERT_EQ(bodies.size(), 1u);
    const auto& anonymous = bodies[0];
    EXPECT_EQ(anonymous["api_key"], "phc_testtoken");
    EXPECT_EQ(anonymous["event"], "desktop_export_completed");
    const std::string install = anonymous["distinct_id"];
    EXPECT_TRUE(install.starts_with("install:")) << install;
    EXPECT_EQ(preferences.analyticsInstallID(), install) << "the install identity is kept for later events";
    const auto& props = anonymous["properties"];
    EXPECT_EQ(props["duration_bucket"], "10s_30s");
    EXPECT_EQ(props["frames"], 12);
    EXPECT_EQ(props["analytics_schema"], 2);
    EXPECT_EQ(props["environment"], "production") << "any channel but staging";
    EXPECT_EQ(props["build_channel"], "beta");
    EXPECT_EQ(props["app_version"], "1.2.3");
    EXPECT_EQ(props["authenticated"], false);
    EXPECT_EQ(props["$process_person_profile"], false);
    EXPECT_FALSE(props.contains("email"));
    EXPECT_TRUE(parseIso8601(anonymous["timestamp"].get<std::string>()));

    client.identify("u-42", std::string("ada@example.com"), 3);
    client.track(AnalyticsEvent::shareCompleted);
    bodies = sent();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[1]["event"], "$identify");
    EXPECT_EQ(bodies[1]["distinct_id"], "user:u-42");
    EXPECT_EQ(bodies[1]["properties"]["$set"]["supabase_user_id"], "u-42");
    EXPECT_EQ(bodies[1]["properties"]["$set"]["team_count"], 3);
    EXPECT_EQ(bodies[1]["properties"]["$set_once"]["first_app_version"], "1.2.3");
    EXPECT_EQ(bodies[2]["distinct_id"], "user:u-42");
    EXPECT_EQ(bodies[2]["properties"]["authenticated"], true);
    EXPECT_EQ(bodies[2]["properties"]["authenticated_user_id"], "user:u-42");
    EXPECT_EQ(bodies[2]["properties"]["email"], "ada@example.com");

    // Identify without an e-mail forgets the stored one; sign-out falls back to the install.
    client.identify("u-42", std::nullopt);
    EXPECT_EQ(preferences.analyticsAuthenticatedEmail(), std::nullopt);
    client.resetIdentity();
    client.track(AnalyticsEvent::appOpened);
    bodies = sent();
    EXPECT_EQ(bodies.back()["distinct_id"], install);
    EXPECT_EQ(bodies.back()["properties"]["authenticated"], false);

    const auto before = server.requestCount();
    preferences.setProductAnalyticsEnabled(false);
    client.track(AnalyticsEvent::exportFailed);
    EXPECT_EQ(background.pendingCount(), 0u);
    EXPECT_EQ(sent().size(), before);

    // A process that is not allowed sends nothing whatever the preference says.
    preferences.setProductAnalyticsEnabled(true);
    AppAnalyticsClient quiet(settings(false), preferences, std::make_shared<CurlHttpTransport>(), background,
                             background);
    quiet.track(AnalyticsEvent::appOpened);
    EXPECT_EQ(sent().size(), before);
}

TEST_F(AnalyticsTest, FailedSendsAreDroppedSilentlyAndNothingIsQueuedToDisk) {
    server.setHandler([](const TestHttpRequest&) { return TestHttpResponse{503, {}, "busy"}; });
    auto down = settings();
    down.host = testing::unusedLoopbackURL();
    {
        AppAnalyticsClient client(settings(), preferences, std::make_shared<CurlHttpTransport>(), background,
                                  background);
        AppAnalyticsClient unreachable(down, preferences, std::make_shared<CurlHttpTransport>(), background,
                                       background);
        client.track(AnalyticsEvent::recordingFailed);
        unreachable.track(AnalyticsEvent::recordingFailed);
        EXPECT_NO_THROW(background.runPending());
        EXPECT_EQ(server.requestCount(), 1u);
        // Sends still queued when the client goes away are dropped, not sent later.
        client.track(AnalyticsEvent::recordingFailed);
    }
    background.runPending();
    EXPECT_EQ(server.requestCount(), 1u);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"preferences.json"});
}

// What each front end's recordings report: asked, started, and one ending that tells a change of
// mind from a fault, with the recorder's own reason for a fault.
TEST_F(AnalyticsTest, RecordingsReportTheirCourseOnceWithWhyTheyFailed) {
    AppAnalyticsClient client(settings(), preferences, std::make_shared<CurlHttpTransport>(), background, background);
    using Phase = ScreenRecorder::Phase;
    // The bodies sent since the previous call.
    std::size_t seen = 0;
    const auto sentSince = [&] {
        auto all = sent();
        std::vector<Json> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return fresh;
    };
    const auto name = [](AnalyticsEvent event) { return std::string(analyticsEventName(event)); };
    const auto state = [](Phase phase, std::string failure = {}) {
        ScreenRecorder::State s;
        s.phase = phase;
        s.failure = std::move(failure);
        return s;
    };

    {
        RecordingAnalytics finished(client);
        finished.recorderChanged(state(Phase::starting));
        finished.recorderChanged(state(Phase::recording));
        finished.recorderChanged(state(Phase::recording));
        RecordingReply reply;
        reply.succeeded = true;
        reply.recording = RecordingMeta{};
        reply.recording->durationMs = 42'000;
        reply.recording->hasMicrophone = true;
        finished.answered(reply, state(Phase::finished));
        finished.answered(reply, state(Phase::idle));
    }
    auto bodies = sentSince();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[0]["event"], name(AnalyticsEvent::recordingStartRequested));
    EXPECT_EQ(bodies[1]["event"], name(AnalyticsEvent::recordingStarted));
    EXPECT_EQ(bodies[2]["event"], name(AnalyticsEvent::recordingCompleted));
    EXPECT_EQ(bodies[2]["properties"]["duration_bucket"], analyticsDurationBucket(42));
    EXPECT_EQ(bodies[2]["properties"]["has_microphone"], true);
    EXPECT_EQ(bodies[2]["properties"]["has_webcam"], false);

    // Stopped while starting: cancelled, not failed.
    RecordingReply unfinished;
    unfinished.failure = RecordingReply::Failure::didNotFinish;
    unfinished.message = "Recording did not finish.";
    {
        RecordingAnalytics cancelled(client);
        cancelled.recorderChanged(state(Phase::starting));
        cancelled.answered(unfinished, state(Phase::idle));
    }
    bodies = sentSince();
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[1]["event"], name(AnalyticsEvent::recordingCancelled));

    // The same answer after capture ran is a fault; the recorder's reason beats the flow's summary.
    {
        RecordingAnalytics failed(client);
        failed.recorderChanged(state(Phase::recording));
        failed.answered(unfinished, state(Phase::failed, "Not enough free disk for recording."));
    }
    bodies = sentSince();
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[2]["event"], name(AnalyticsEvent::recordingFailed));
    EXPECT_EQ(bodies[2]["properties"]["error_message"], "Not enough free disk for recording.");
    EXPECT_EQ(bodies[2]["properties"]["error_kind"], analyticsErrorKind("Not enough free disk for recording."));
}

TEST(AnalyticsRules, ErrorKindsDurationBucketsAndTheEnvironmentSwitch) {
    EXPECT_EQ(analyticsErrorKind("The request timed out."), "network");
    EXPECT_EQ(analyticsErrorKind("API error (413): too big"), "payload_too_large");
    EXPECT_EQ(analyticsErrorKind("Permission denied while writing to disk"), "permission");
    EXPECT_EQ(analyticsErrorKind("Share cancelled"), "cancelled");
    EXPECT_EQ(analyticsErrorKind("Not enough disk space"), "disk_space");
    EXPECT_EQ(analyticsErrorKind("API error (401): Unauthorized"), "auth");
    EXPECT_EQ(analyticsErrorKind("Could not decode response: x"), "api_response");
    EXPECT_EQ(analyticsErrorKind("Something odd"), "unknown");

    EXPECT_EQ(analyticsDurationBucket(0), "under_10s");
    EXPECT_EQ(analyticsDurationBucket(10), "10s_30s");
    EXPECT_EQ(analyticsDurationBucket(59.9), "30s_1m");
    EXPECT_EQ(analyticsDurationBucket(179), "1m_3m");
    EXPECT_EQ(analyticsDurationBucket(600), "10m_30m");
    EXPECT_EQ(analyticsDurationBucket(1800), "30m_plus");

    const auto failure = analyticsFailureProperties(std::system_error(ENOSPC, std::generic_category(), "write"));
    EXPECT_EQ(std::get<std::string>(failure.at("error_domain")), "generic");
    EXPECT_EQ(std::get<long long>(failure.at("error_code")), ENOSPC);
    EXPECT_EQ(std::get<std::string>(failure.at("error_kind")), "disk_space");

    {
        testing::ScopedEnv analytics("ORVANE_ANALYTICS", "");
        testing::ScopedEnv ci("CI", "true");
        testing::ScopedEnv test("ORVANE_TEST", "");
        EXPECT_FALSE(analyticsAllowedByEnvironment()) << "build machines never report";
    }
    {
        testing::ScopedEnv analytics("ORVANE_ANALYTICS", "1");
        testing::ScopedEnv ci("CI", "true");
        EXPECT_TRUE(analyticsAllowedByEnvironment());
    }
    {
        testing::ScopedEnv analytics("ORVANE_ANALYTICS", "0");
        testing::ScopedEnv ci("CI", "");
        testing::ScopedEnv test("ORVANE_TEST", "");
        EXPECT_FALSE(analyticsAllowedByEnvironment());
    }
}

}  // namespace
}  // namespace orvane
