#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli_runner.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "update/release_archive_builder.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::runOrvane;
using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;

std::string releaseJson(const std::string& version) {
    return R"({"identifier":"org.orvane.Orvane","version":")" + version + "\"}";
}

// `orvane update` end to end: the manifest and a signed archive on a local web site, an installed
// copy under $HOME, and the launcher the command leaves behind finishing the swap after it exits.
class UpdateCliTest : public ::testing::Test {
protected:
    UpdateCliTest()
        : server_([this](const TestHttpRequest& request) {
              if (request.path == "/downloads/manifest.json") return TestHttpResponse::json(200, manifest_);
              if (request.path == "/downloads/orvane-9.0.0.tar.xz") return TestHttpResponse{200, {}, archive_};
              if (request.path == "/downloads/orvane-9.0.0.tar.xz.sig") return TestHttpResponse{200, {}, signature_};
              return TestHttpResponse{404, {}, {}};
          }) {
        installed_ = home_ / ".local" / "lib" / "orvane";
        testing::writeTree(installed_, {{"bin/orvane", {"#!/bin/sh\necho 'orvane 0.0.1'\n", true}},
                                        {"share/orvane/release.json", {releaseJson("0.0.1"), false}}});
        testing::writeTarXz(dir_ / "release.tar.xz",
                            {{"orvane-9.0.0/bin/orvane", {"#!/bin/sh\necho 'orvane 9.0.0'\n", true}},
                             {"orvane-9.0.0/share/orvane/release.json", {releaseJson("9.0.0"), false}}});
        archive_ = testing::readBinaryFile(dir_ / "release.tar.xz");
        signature_ = key_.sign(archive_);
        testing::writeTextFile(dir_ / "bundle.json", R"({"OrvaneBuildChannel":"production","OrvaneUpdatePublicKey":")" +
                                                         key_.publicKeyBase64() + "\"}");
    }

    testing::CliResult run(const std::vector<std::string>& arguments) {
        return runOrvane(
            home_.path(), arguments,
            {"ORVANE_SERVICE_URL_SITE=" + server_.baseURL(), "ORVANE_BUNDLE=" + (dir_ / "bundle.json").string()});
    }

    testing::TempDir dir_;
    testing::TempDir home_;
    testing::SigningKey key_;
    std::string manifest_ =
        R"({"app":{"version":"9.0.0","build":"3","downloadPath":"/downloads/orvane-9.0.0.tar.xz"}})";
    std::string archive_;
    std::string signature_;
    TestHttpServer server_;
    fs::path installed_;
};

TEST_F(UpdateCliTest, ChecksInstallsAndSaysWhyItCannot) {
    auto result = run({"update", "--check", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto answer = nlohmann::json::parse(result.out);
    EXPECT_EQ(answer["outcome"], "available");
    EXPECT_EQ(answer["release"]["version"], "9.0.0");
    EXPECT_EQ(answer["installedLocation"], installed_.string());
    EXPECT_EQ(answer["notice"]["title"], "A Orvane update is available");

    // A manifest that does not decode is the command's failure, in the decoder's words.
    manifest_ = "{";
    result = run({"update", "--check"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("The update manifest is not valid JSON."), std::string::npos) << result.err;

    // A refused archive: the message and the way out, and the installed copy as it was.
    manifest_ = R"({"app":{"version":"9.0.0","downloadPath":"/downloads/orvane-9.0.0.tar.xz"}})";
    const auto before = testing::snapshotTree(installed_);
    const auto goodSignature = signature_;
    signature_ = key_.sign("something else");
    result = run({"update"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("error: Could not install the update: The downloaded app bundle did not match Orvane."),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("You can still download the signed installer manually."), std::string::npos);
    EXPECT_EQ(testing::snapshotTree(installed_), before);

    // Accepted: the command says so and exits; the launcher swaps the copy in after it.
    signature_ = goodSignature;
    result = run({"update"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Relaunching Orvane to finish the update..."), std::string::npos) << result.out;
    const auto releaseFile = installed_ / "share" / "orvane" / "release.json";
    for (int i = 0; i < 250 && testing::readBinaryFile(releaseFile) != releaseJson("9.0.0"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(testing::readBinaryFile(releaseFile), releaseJson("9.0.0"));
}

TEST_F(UpdateCliTest, TheCommandLinkWaitsForTheInstalledCopy) {
    // This test's orvane runs from the build folder, not from the installed location.
    const auto result = run({"install-cli"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Move Orvane to " + installed_.string() +
                              " before installing the CLI so the `orvane` command keeps working after the unpacked "
                              "archive is removed."),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(home_ / ".local" / "bin" / "orvane")));
}

}  // namespace
}  // namespace orvane
