#include "cloud/remote_edit_poller.h"

#include <set>

#include "base/manual_executor.h"
#include "cloud_fixture.h"

namespace orvane {
namespace {

using namespace testing;
using std::chrono::milliseconds;
using std::chrono::seconds;

// The backend's side: the edit record it holds, what it answers instead, and which token it takes.
struct EditBackend {
    std::mutex mutex;
    Json record;
    std::optional<TestHttpResponse> override;
    std::string acceptedToken = "tok-1";

    void set(Json value) {
        std::lock_guard lock(mutex);
        record = std::move(value);
        override.reset();
    }
    void fail(TestHttpResponse response) {
        std::lock_guard lock(mutex);
        override = std::move(response);
    }
    TestHttpResponse answer(const TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.header("Authorization") != "Bearer " + acceptedToken) return TestHttpResponse::json(401, "{}");
        if (override) return *override;
        if (record.is_null()) return TestHttpResponse::json(404, R"({"detail":"no edits"})");
        return TestHttpResponse::json(200, record.dump());
    }
};

class RemoteEditPollerTest : public ::testing::Test {
protected:
    EditBackend backend;
    TestHttpServer server{[this](const TestHttpRequest& request) { return backend.answer(request); }};
    ManualExecutor executor;
    ToastCenter toasts{executor};
    // Every toast ever shown (they expire on their own as virtual time passes).
    std::set<std::string> toastIDs;
    Subscription toastWatch = toasts.observe([this](const std::vector<Toast>& shown) {
        for (const auto& toast : shown) toastIDs.insert(toast.id.string());
    });
    std::shared_ptr<EditorState> state = std::make_shared<EditorState>(Uuid::random(), "/recordings/A/screen.mp4");
    int saves = 0;
    std::string token = "tok-1";
    int refreshes = 0;
    std::vector<RemoteEditPollOutcome> outcomes;

    std::shared_ptr<RemoteEditPoller> makePoller(const std::string& baseURL, const std::string& videoID = " v_1\n") {
        auto current = [this]() -> std::optional<std::string> { return token; };
        auto api = std::make_shared<RemoteAPIClient>(baseURL, std::make_shared<CurlHttpTransport>(), current);
        auto refresh = [this](const std::string&) -> std::optional<std::string> {
            ++refreshes;
            token = backend.acceptedToken;
            return token;
        };
        auto poller = RemoteEditPoller::make(videoID, backendRemoteEditFetch(api, current, refresh),
                                             {state, [this] { ++saves; }}, executor, executor, &toasts);
        if (poller) poller->onPolled([this](RemoteEditPollOutcome outcome) { outcomes.push_back(outcome); });
        return poller;
    }

    static Json record(const std::string& updatedAt, Json fields = Json::object()) {
        fields["video_id"] = "v_1";
        fields["updated_at"] = updatedAt;
        return fields;
    }
};

TEST_F(RemoteEditPollerTest, AppliesEachNewerRecordOnceAndTellsTheUser) {
    EXPECT_EQ(makePoller(server.baseURL(), " \n\t"), nullptr) << "a blank remote id gives no poller";

    backend.set(record("2026-12-01T10:00:00.250Z",
                       {{"inset", 0.08}, {"zoom_regions", {{{"start", 1}, {"end", 3}, {"scale", 2}}}}}));
    auto poller = makePoller(server.baseURL());
    ASSERT_TRUE(poller);
    EXPECT_EQ(poller->videoID(), "v_1");
    poller->start(seconds(1));  // raised to the two-second minimum

    executor.advance(milliseconds(1999));
    EXPECT_EQ(server.requestCount(), 0u);
    executor.advance(milliseconds(1));
    ASSERT_EQ(outcomes, std::vector{RemoteEditPollOutcome::applied});
    EXPECT_EQ(server.requests()[0].path, "/videos/v_1/edit");
    EXPECT_DOUBLE_EQ(state->values().edit.frame.inset, 0.08);
    ASSERT_EQ(state->values().edit.timeline.zoomRegions.size(), 1u);
    EXPECT_DOUBLE_EQ(state->values().edit.timeline.zoomRegions[0].focusX, 0.5);
    EXPECT_EQ(state->values().lastAppliedRemoteUpdatedAt, parseIso8601("2026-12-01T10:00:00.250Z"));
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(toasts.toasts().size(), 1u);
    EXPECT_EQ(toasts.toasts()[0].title, "Agent updated this video");
    EXPECT_EQ(toasts.toasts()[0].detail,
              "An agent changed this project through the CLI \u2014 your local edits were replaced with the latest.");

    // The same record again, an older one, one without a readable date: nothing happens.
    state->modify([](EditorValues& v) { v.edit.frame.inset = 0.02; });
    executor.advance(seconds(2));
    backend.set(record("2026-12-01T09:00:00Z", {{"inset", 0.3}}));
    executor.advance(seconds(2));
    backend.set(record("yesterday", {{"inset", 0.3}}));
    executor.advance(seconds(2));
    EXPECT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes.back(), RemoteEditPollOutcome::unchanged);
    EXPECT_DOUBLE_EQ(state->values().edit.frame.inset, 0.02);
    EXPECT_EQ(saves, 1);

    // A newer record without fractional seconds; a neutral inset without set_fields keeps the local one.
    backend.set(record("2026-12-01T11:00:00Z", {{"inset", 0.04}, {"corner_radius", 3.0}}));
    executor.advance(seconds(2));
    EXPECT_EQ(outcomes.back(), RemoteEditPollOutcome::applied);
    EXPECT_DOUBLE_EQ(state->values().edit.frame.inset, 0.02);
    EXPECT_DOUBLE_EQ(state->values().edit.frame.cornerRadius, 3.0);
    EXPECT_EQ(toastIDs.size(), 2u);

    // A reopened editor starts from the date it saved and does not apply that record again.
    poller.reset();
    outcomes.clear();
    auto reopened = makePoller(server.baseURL());
    EXPECT_EQ(reopened->lastSeenUpdatedAt(), parseIso8601("2026-12-01T11:00:00Z"));
    EXPECT_EQ(reopened->pollNow(), RemoteEditPollOutcome::unchanged);
}

TEST_F(RemoteEditPollerTest, FailuresLeaveTheEditAloneAndPollingGoesOn) {
    state->modify([](EditorValues& v) { v.edit.frame.cornerRadius = 6; });
    const auto before = state->values();
    auto poller = makePoller(server.baseURL());
    poller->start();

    backend.fail(TestHttpResponse{500, {}, "upstream exploded"});
    executor.advance(seconds(5));
    backend.fail([] {
        TestHttpResponse cut = TestHttpResponse::json(200, R"({"video_id":"v_1","updated_at":"2026-12-01T10:00:00Z"})");
        cut.truncate = true;
        return cut;
    }());
    executor.advance(seconds(5));
    backend.fail(TestHttpResponse::json(200, R"({"video_id":7})"));
    executor.advance(seconds(5));
    backend.set(nullptr);
    executor.advance(seconds(5));
    EXPECT_EQ(outcomes, (std::vector{RemoteEditPollOutcome::failed, RemoteEditPollOutcome::failed,
                                     RemoteEditPollOutcome::failed, RemoteEditPollOutcome::noRecord}));
    EXPECT_EQ(state->values(), before);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(toastIDs.empty());

    // An expired token is refreshed once and the poll goes through.
    backend.set(record("2026-12-02T00:00:00Z", {{"corner_radius", 12.0}}));
    backend.acceptedToken = "tok-2";
    executor.advance(seconds(5));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(outcomes.back(), RemoteEditPollOutcome::applied);
    EXPECT_DOUBLE_EQ(state->values().edit.frame.cornerRadius, 12.0);

    // A backend that is down: silent, and nothing changes.
    const auto applied = state->values();
    auto unreachable = makePoller(unusedLoopbackURL());
    EXPECT_EQ(unreachable->pollNow(), RemoteEditPollOutcome::failed);
    EXPECT_EQ(state->values(), applied);
}

TEST_F(RemoteEditPollerTest, TheEditorsOwnEchoOnlyMovesTheDateAndAClosedEditorEndsTheLoop) {
    state->modify([](EditorValues& v) { v.edit.frame.inset = 0.1; });
    auto poller = makePoller(server.baseURL());
    poller->suppressNextRemoteEcho();
    backend.set(record("2026-12-01T10:00:00Z", {{"inset", 0.2}}));
    poller->start();
    executor.advance(seconds(5));
    EXPECT_EQ(outcomes, std::vector{RemoteEditPollOutcome::echoed});
    EXPECT_DOUBLE_EQ(state->values().edit.frame.inset, 0.1);
    EXPECT_EQ(state->values().lastAppliedRemoteUpdatedAt, parseIso8601("2026-12-01T10:00:00Z"));
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(toastIDs.empty());

    // Only the next record is the echo.
    backend.set(record("2026-12-01T10:00:05Z", {{"inset", 0.2}}));
    executor.advance(seconds(5));
    EXPECT_DOUBLE_EQ(state->values().edit.frame.inset, 0.2);

    // Restarting cancels the old loop rather than adding a second one.
    const auto polls = server.requestCount();
    poller->start(seconds(5));
    poller->start(seconds(5));
    executor.advance(seconds(5));
    EXPECT_EQ(server.requestCount(), polls + 1);

    state.reset();
    executor.advance(seconds(5));
    EXPECT_EQ(outcomes.back(), RemoteEditPollOutcome::editorGone);
    EXPECT_FALSE(poller->isRunning());
    executor.advance(seconds(60));
    EXPECT_EQ(server.requestCount(), polls + 1);
    EXPECT_EQ(executor.pendingCount(), 0u);

    poller->stop();
}

}  // namespace
}  // namespace orvane
