#include "app/deep_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "app/configuration.h"
#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "net/curl_http_transport.h"
#include "net/http_transport.h"
#include "net/service_url.h"
#include "net/url_components.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/url_opener.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

class RecordingTransport final : public HttpTransport {
public:
    HttpResponse send(const HttpRequest& request, std::stop_token) override {
        sent.push_back(request);
        return HttpResponse{200, {}, {}};
    }
    std::vector<HttpRequest> sent;
};

class RecordingOpener final : public UrlOpener {
public:
    void open(const std::string& url) override { opened.push_back(url); }
    void revealFile(const std::filesystem::path&) override {}
    std::vector<std::string> opened;
};

class DeepLinkTest : public ::testing::Test {
protected:
    // The query value of `name` in the last reply sent over HTTP, or opened on the desktop.
    std::optional<std::string> sent(std::string_view name) {
        return URLComponents::parse(http->sent.back().url)->queryValue(name);
    }
    std::optional<std::string> opened(std::string_view name) {
        return URLComponents::parse(opener->opened.back())->queryValue(name);
    }

    ManualExecutor loop;
    std::shared_ptr<RecordingTransport> http = std::make_shared<RecordingTransport>();
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    DeepLink link{{"orvane", "ZANT"}, loop, loop, http, opener};
};

TEST_F(DeepLinkTest, AcceptsOnlyOurSchemesAndDropsMalformedOrUnknownRequests) {
    int changes = 0;
    const auto subscription = link.observe([&] { ++changes; });

    link.handle("https://record?source=window");
    link.handle("orvane://nowhere?x=1");
    link.handle("orvane://invite");                // token required
    link.handle("orvane://invite?token=");         // and non-empty
    link.handle("orvane://team/members?token=t");  // only team/invite is an invitation
    link.handle("orvane://import?v=not%20a%20url");
    link.handle("orvane://record/reply");  // share required
    link.handle("not a url at all");
    link.handle("");
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(link.pending().request);
    EXPECT_FALSE(link.pending().teamInvitation);
    EXPECT_FALSE(link.pending().importURL);

    // Scheme and host in any case; the legacy scheme too.
    link.handle("ZANT://RECORD?source=screen");
    ASSERT_TRUE(link.pending().request);
    EXPECT_EQ(link.pending().request->preferredKind, RecordingSourceKind::display);
    link.handle("orvane://team/Invite/?token=abc&email=a%40b.c");
    EXPECT_EQ(link.pending().teamInvitation, (TeamInvitation{"abc", "a@b.c"}));
    EXPECT_EQ(changes, 2);
}

TEST_F(DeepLinkTest, TheSameURLWithinTwoSecondsIsHandledOnce) {
    int changes = 0;
    const auto subscription = link.observe([&] { ++changes; });
    const std::string url = "orvane://record?source=window";
    link.handle(url);
    loop.advance(1999ms);
    link.handle(url);
    EXPECT_EQ(changes, 1);
    // The ignored repeat does not extend the window: it counts from the handled one.
    loop.advance(1ms);
    link.handle(url);
    EXPECT_EQ(changes, 2);
    // A different URL in between is never a duplicate.
    link.handle("orvane://record?source=app");
    link.handle(url);
    EXPECT_EQ(changes, 4);
}

TEST_F(DeepLinkTest, RecordRequestsStoreKindSessionAndReturnAddress) {
    link.handle("orvane://record?source=application&session=S1&return=http%3A%2F%2Flocalhost%3A9%2Fdone");
    ASSERT_TRUE(link.pending().request);
    EXPECT_EQ(link.pending().request->preferredKind, RecordingSourceKind::application);
    EXPECT_EQ(link.pending().request->sessionID, "S1");
    EXPECT_EQ(link.returnURL(), "http://localhost:9/done");
    EXPECT_EQ(link.sessionID(), "S1");

    link.handle("orvane://record?source=tv&return=nonsense");
    EXPECT_EQ(link.pending().request->preferredKind, std::nullopt);
    EXPECT_EQ(link.returnURL(), "http://localhost:9/done");  // an unparsable address is no address

    link.handle("orvane://record/reply?share=SH&api=https%3A%2F%2Fapi.example");
    EXPECT_EQ(link.pending().replyShareID, "SH");
    EXPECT_EQ(link.pending().replyShareAPIBaseURL, "https://api.example");
    EXPECT_FALSE(link.pending().shareEditingBypassesAuth);

    link.handle("orvane://record/append/?share=SH2");
    EXPECT_EQ(link.pending().appendShareID, "SH2");
    EXPECT_EQ(link.pending().appendShareAPIBaseURL, std::nullopt);
    EXPECT_TRUE(link.pending().shareEditingBypassesAuth);
}

TEST_F(DeepLinkTest, AgentRecordReadsEverySpellingAndValueRule) {
    link.handle(
        "orvane://agent-record?source=window&duration=0&action_plan=file%3A%2F%2F%2Ftmp%2Fplan.json"
        "&windowId=4294967295&display_id=4294967296&system_audio=YES&crop_rect=0.5,0.5,0.8,0.8"
        "&app_name=Editor&app_bundle_id=org.ed&window_title=Doc&control_mode=auto&scenario=demo"
        "&title=T&prompt=P&target=t&voiceover=nonsense&script=https%3A%2F%2Fs.example%2Fs.txt&session=S");
    ASSERT_TRUE(link.pending().agentRecordingRequest);
    const auto& request = *link.pending().agentRecordingRequest;
    EXPECT_EQ(request.preferredKind, RecordingSourceKind::window);
    EXPECT_EQ(request.duration, 1.0);
    EXPECT_EQ(request.actionPlanURL, "file:///tmp/plan.json");
    EXPECT_EQ(request.windowID, 4294967295u);
    EXPECT_EQ(request.displayID, std::nullopt);  // past 32 bits
    EXPECT_TRUE(request.includeSystemAudio);
    ASSERT_TRUE(request.cropRect);
    EXPECT_EQ(*request.cropRect, (Rect{0.5, 0.5, 0.5, 0.5}));
    EXPECT_EQ(request.appName, "Editor");
    EXPECT_EQ(request.appBundleID, "org.ed");
    EXPECT_EQ(request.windowTitle, "Doc");
    EXPECT_EQ(request.controlMode, "auto");
    EXPECT_EQ(request.voiceoverURL, std::nullopt);
    EXPECT_EQ(request.scriptURL, "https://s.example/s.txt");
    EXPECT_EQ(request.sessionID, "S");
    EXPECT_TRUE(link.pending().agentRecordingBypassesAuth);

    // The first listed spelling wins over later ones, whatever their order in the URL.
    link.handle("orvane://agent-record?window_id=2&windowID=1&systemAudio=maybe&duration=99999");
    EXPECT_EQ(link.pending().agentRecordingRequest->windowID, 1u);
    EXPECT_FALSE(link.pending().agentRecordingRequest->includeSystemAudio);
    EXPECT_EQ(link.pending().agentRecordingRequest->duration, 3600.0);
    link.handle("orvane://agent-record");
    EXPECT_EQ(link.pending().agentRecordingRequest->duration, 10.0);
    EXPECT_EQ(link.pending().agentRecordingRequest->cropRect, std::nullopt);
}

TEST(DeepLinkValues, ValueRulesAtTheirEdges) {
    namespace v = deep_link_values;
    EXPECT_TRUE(v::boolean(std::string(" On\n"), false));
    EXPECT_FALSE(v::boolean(std::string("off"), true));
    EXPECT_TRUE(v::boolean(std::string(""), true));
    EXPECT_FALSE(v::boolean(std::nullopt, false));

    EXPECT_EQ(v::duration(std::string("nan")), 10.0);
    EXPECT_EQ(v::duration(std::string("inf")), 10.0);
    EXPECT_EQ(v::duration(std::string("2.5")), 2.5);
    EXPECT_EQ(v::duration(std::string("-5")), 1.0);
    EXPECT_EQ(v::duration(std::string("12abc")), 10.0);

    EXPECT_EQ(v::uint32(std::string("-1")), std::nullopt);
    EXPECT_EQ(v::uint32(std::string(" 7")), std::nullopt);
    EXPECT_EQ(v::uint32(std::string("007")), 7u);

    // An origin pushed onto the far edge leaves nothing to record.
    EXPECT_EQ(v::cropRect(std::string("-1, 2, 0.3, 0.4")), std::nullopt);
    EXPECT_EQ(v::cropRect(std::string("-1,0,0.3,0.4")), (Rect{0, 0, 0.3, 0.4}));
    EXPECT_EQ(v::cropRect(std::string("0,0,0,0.4")), std::nullopt);
    EXPECT_EQ(v::cropRect(std::string("0,0,0.5")), std::nullopt);
    EXPECT_EQ(v::cropRect(std::string("0,0,0.5,0.5,0.5")), std::nullopt);
    EXPECT_EQ(v::cropRect(std::string("0,0,x,0.5")), std::nullopt);
}

TEST_F(DeepLinkTest, ImportPermissionSetupAndOAuthCallback) {
    link.handle(
        "orvane://"
        "import?v=https%3A%2F%2Fcdn.example%2Fv.mp4&edit=yes&share=tok&title=Demo&sidecar=bad&permission=view");
    EXPECT_EQ(link.pending().importURL, "https://cdn.example/v.mp4");
    EXPECT_FALSE(link.pending().importOpensEditor);  // only "1" or "true" open the editor
    EXPECT_EQ(link.pending().importShareToken, "tok");
    EXPECT_EQ(link.pending().importTitle, "Demo");
    EXPECT_EQ(link.pending().importSidecarURL, std::nullopt);
    EXPECT_EQ(link.pending().importPermission, "view");
    EXPECT_TRUE(link.pending().shareEditingBypassesAuth);
    link.handle("orvane://import?v=https%3A%2F%2Fcdn.example%2Fw.mp4&edit=true");
    EXPECT_TRUE(link.pending().importOpensEditor);

    link.handle("orvane://setup-permissions?step=screen");
    const auto first = link.pending().permissionSetupRequestID;
    ASSERT_TRUE(first);
    EXPECT_EQ(link.pending().permissionSetupStep, "screen");
    loop.advance(3s);
    link.handle("orvane://setup-permissions?step=screen");
    EXPECT_NE(link.pending().permissionSetupRequestID, first);  // each request is a new walkthrough

    link.handle("orvane://oauth-callback?provider=x&status=connected");
    EXPECT_EQ(link.pending().oauthCallback, (OAuthCallback{"x", "connected"}));
}

TEST_F(DeepLinkTest, RepliesReplaceItemsAndGoByHttpToLoopbackOnly) {
    link.handle("orvane://record?session=NEW&return=http%3A%2F%2F127.0.0.1%3A7%2Fcb%3Fsession%3DOLD%26keep%3D1");
    link.replySuccessWithExport("/tmp/my video.mp4", "display", "Main Display");
    EXPECT_EQ(link.returnURL(), std::nullopt);
    EXPECT_EQ(link.sessionID(), std::nullopt);
    EXPECT_TRUE(http->sent.empty());  // not sent before the background runs it
    loop.runPending();
    ASSERT_EQ(http->sent.size(), 1u);
    EXPECT_EQ(http->sent[0].method, "GET");
    const auto url = URLComponents::parse(http->sent[0].url);
    ASSERT_TRUE(url);
    std::vector<std::string> sessions;
    for (const auto& item : url->queryItems()) {
        if (item.name == "session") sessions.push_back(item.value);
    }
    EXPECT_EQ(sessions, std::vector<std::string>{"NEW"});
    EXPECT_EQ(url->queryValue("keep"), "1");
    EXPECT_EQ(url->queryValue("orvaneExportURL"), "file:///tmp/my%20video.mp4");
    EXPECT_EQ(url->queryValue("kind"), "display");
    EXPECT_EQ(url->queryValue("sourceTitle"), "Main Display");

    // At most one reply per caller.
    link.replyFailure("again");
    loop.runPending();
    EXPECT_EQ(http->sent.size(), 1u);
    EXPECT_TRUE(opener->opened.empty());

    loop.advance(3s);
    link.handle("orvane://agent-record?return=agent%3A%2F%2Fdone");
    link.replyFailure("Recording failed & stopped");
    loop.runPending();
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(http->sent.size(), 1u);
    EXPECT_EQ(opener->opened[0].rfind("agent://done?", 0), 0u) << "[" << opener->opened[0] << "]";
    EXPECT_EQ(opened("error"), "Recording failed & stopped");
    EXPECT_EQ(opened("session"), std::nullopt);
    EXPECT_EQ(opened("kind"), std::nullopt);

    loop.advance(3s);
    link.handle("orvane://record?return=http%3A%2F%2F%5B%3A%3A1%5D%3A7%2F");
    link.replySuccessWithShare("https://share.example/s/abc", "window", "Doc");
    loop.runPending();
    EXPECT_EQ(http->sent.size(), 2u);
    EXPECT_EQ(sent("orvaneShareURL"), "https://share.example/s/abc");
}

TEST(DeepLinkSchemes, TheBundleChoosesTheAcceptedSchemes) {
    testing::TempDir dir;
    JsonPreferencesStore store(dir / "preferences.json");
    Preferences preferences(store);
    BundleConfig bundle;
    ASSERT_TRUE(bundle.overlayJSON(
        R"json({"OrvaneDefaultURLScheme": " Studio-Dev ", "OrvaneLegacyURLScheme": "$(LEGACY)"})json", "test"));
    const AppConfiguration configuration(bundle, preferences);
    ManualExecutor loop;
    DeepLink link(configuration.acceptedURLSchemes(), loop, loop, std::make_shared<RecordingTransport>(),
                  std::make_shared<RecordingOpener>());
    link.handle("orvane://record");
    EXPECT_FALSE(link.pending().request);  // the default scheme was replaced
    link.handle("zant://record?source=window");
    EXPECT_TRUE(link.pending().request);  // an unexpanded legacy key falls back to "zant"
    link.pending().request.reset();
    link.handle("studio-dev://record");
    EXPECT_TRUE(link.pending().request);
}

TEST(DeepLinkDelivery, LoopbackReplyReachesARealServerWithoutBlockingTheCaller) {
    testing::TestHttpServer server([](const testing::TestHttpRequest&) { return testing::TestHttpResponse(500); });
    SerialQueue background("reply-test");
    ManualExecutor clock;
    DeepLink link({"orvane"}, clock, background, makeHttpTransport(), std::make_shared<RecordingOpener>());
    const std::string address = "http://localhost:" + std::to_string(server.port()) + "/done";
    link.handle("orvane://record?session=s%201&return=" + percentEncode(address));
    link.replyFailure("no screen");
    for (int i = 0; i < 500 && server.requestCount() == 0; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(server.requestCount(), 1u);
    const auto request = server.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/done");
    EXPECT_EQ(request.queryValue("error"), "no screen");
    EXPECT_EQ(request.queryValue("session"), "s 1");
}

}  // namespace
}  // namespace orvane
