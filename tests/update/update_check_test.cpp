#include <gtest/gtest.h>

#include "net/curl_http_transport.h"
#include "support/http_test_server.h"
#include "update/update_checker.h"

namespace orvane {
namespace {

using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;

TEST(ReleaseVersion, ComparesComponentByComponentThenByBuild) {
    const auto compare = [](ReleaseVersion a, ReleaseVersion b) { return compareReleaseVersions(a, b); };
    EXPECT_GT(compare({"1.10", {}}, {"1.9", {}}), 0);
    EXPECT_LT(compare({"1.9.9", {}}, {"1.10", {}}), 0);
    EXPECT_EQ(compare({"1.2", {}}, {"1.2.0", {}}), 0);
    EXPECT_GT(compare({"1.2", "58"}, {"1.2.0", "57"}), 0);
    EXPECT_GT(compare({"1.2.0", "100"}, {"1.2", "99"}), 0);
    EXPECT_EQ(compare({"1.2", "7"}, {"1.2.0", "7"}), 0);
    // A build only counts once the versions are equal.
    EXPECT_LT(compare({"1.2", "999"}, {"1.3", "1"}), 0);
    // Stray text counts as 0 rather than making a release sort anywhere at all.
    EXPECT_EQ(compare({"2.beta", {}}, {"2.0", {}}), 0);
    EXPECT_EQ(ReleaseVersion({"1.2.0", "57"}).display(), "1.2.0 (57)");
    EXPECT_EQ(ReleaseVersion({"1.2.0", {}}).display(), "1.2.0");
}

TEST(UpdateManifest, DecodesTheReleaseAndExplainsWhatIsWrong) {
    const auto manifest = UpdateManifest::decode(
        R"({"app":{"version":"0.3.0","build":"12","downloadUrl":"https://x/a.tar.xz","downloadPath":"/d/a.tar.xz"}})");
    ASSERT_TRUE(manifest.app);
    EXPECT_EQ(manifest.app->version, "0.3.0");
    EXPECT_EQ(manifest.app->build, "12");
    EXPECT_EQ(manifest.app->downloadURL, "https://x/a.tar.xz");
    EXPECT_EQ(manifest.app->downloadPath, "/d/a.tar.xz");
    EXPECT_FALSE(UpdateManifest::decode("{}").app);

    const auto failure = [](const char* text) {
        try {
            UpdateManifest::decode(text);
        } catch (const ManifestDecodeError& error) {
            return std::string(error.what());
        }
        return std::string("decoded");
    };
    EXPECT_EQ(failure("{\"app\":"), "The update manifest is not valid JSON.");
    EXPECT_EQ(failure("[]"), "The update manifest is not a JSON object.");
    EXPECT_EQ(failure(R"({"app":{"build":"1"}})"), "The update manifest's \"app\" has no \"version\".");
    EXPECT_EQ(failure(R"({"app":{"version":3}})"), "The update manifest's \"version\" is not a string.");
}

TEST(UpdateCheck, OffersOnlyNewerReleasesAndStaysQuietUnlessAsked) {
    std::string manifest = R"({"app":{"version":"0.3.0","build":"12","downloadPath":"/downloads/o.tar.xz"}})";
    int status = 200;
    TestHttpServer server([&](const TestHttpRequest&) { return TestHttpResponse::json(status, manifest); });
    CurlHttpTransport transport;
    UpdateCheckRequest request;
    request.buildChannel = "production";
    request.webSiteOrigin = server.baseURL();
    request.running = {"0.2.9", "40"};
    request.installedLocation = "/home/u/.local/lib/orvane";

    auto result = checkForUpdates(transport, request);
    EXPECT_EQ(result.outcome, UpdateCheckResult::Outcome::available);
    ASSERT_TRUE(result.notice);
    EXPECT_EQ(result.notice->title, "A Orvane update is available");
    EXPECT_EQ(result.notice->message,
              "You have 0.2.9 (40). Version 0.3.0 (12) is ready to install. Orvane will download the signed update, "
              "replace /home/u/.local/lib/orvane, and relaunch.");
    EXPECT_EQ(result.notice->buttons, (std::vector<std::string>{"Install and Relaunch", "Later"}));
    const auto sent = server.requests().back();
    EXPECT_EQ(sent.path, "/downloads/manifest.json");
    const auto t = sent.queryValue("t");
    ASSERT_TRUE(t);
    EXPECT_GT(std::stoll(*t), 1'600'000'000);

    // An automatic check does not offer the same version twice; the user asking does.
    request.lastPromptedVersion = "0.3.0";
    result = checkForUpdates(transport, request);
    EXPECT_EQ(result.outcome, UpdateCheckResult::Outcome::alreadyOffered);
    EXPECT_FALSE(result.notice);
    request.userInitiated = true;
    EXPECT_EQ(checkForUpdates(transport, request).outcome, UpdateCheckResult::Outcome::available);

    // Same version: the build decides.
    request.running = {"0.3", "12"};
    result = checkForUpdates(transport, request);
    EXPECT_EQ(result.outcome, UpdateCheckResult::Outcome::upToDate);
    EXPECT_EQ(result.notice->title, "Orvane is up to date");
    EXPECT_EQ(result.notice->message, "You are already on the latest published version.");
    request.userInitiated = false;
    EXPECT_FALSE(checkForUpdates(transport, request).notice);

    // Failures speak only when the user asked.
    status = 503;
    EXPECT_FALSE(checkForUpdates(transport, request).notice);
    request.userInitiated = true;
    result = checkForUpdates(transport, request);
    EXPECT_EQ(result.outcome, UpdateCheckResult::Outcome::unreachable);
    EXPECT_EQ(result.notice->title, "Could not check for updates");
    EXPECT_EQ(result.notice->message, "The update manifest is not reachable right now.");
    status = 200;
    manifest = "{not json";
    result = checkForUpdates(transport, request);
    EXPECT_EQ(result.outcome, UpdateCheckResult::Outcome::undecodable);
    EXPECT_EQ(result.notice->message, "The update manifest is not valid JSON.");
    request.webSiteOrigin = testing::unusedLoopbackURL();
    EXPECT_EQ(checkForUpdates(transport, request).outcome, UpdateCheckResult::Outcome::unreachable);

    // Only production builds ask at all.
    const auto before = server.requestCount();
    request.webSiteOrigin = server.baseURL();
    request.buildChannel = "staging";
    EXPECT_EQ(checkForUpdates(transport, request).outcome, UpdateCheckResult::Outcome::notChecked);
    EXPECT_EQ(server.requestCount(), before);
}

}  // namespace
}  // namespace orvane
