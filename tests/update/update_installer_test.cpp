#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "net/curl_http_transport.h"
#include "net/http_transport.h"
#include "support/http_test_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "update/child_process.h"
#include "update/release_archive.h"
#include "update/release_archive_builder.h"
#include "update/update_checker.h"
#include "update/update_errors.h"
#include "update/update_installer.h"

namespace fs = std::filesystem;

namespace orvane {
namespace {

using testing::TestHttpRequest;
using testing::TestHttpResponse;
using testing::TestHttpServer;
using testing::Tree;

std::string releaseJson(const std::string& version, const std::string& identifier = kOrvaneProductIdentifier) {
    return R"({"identifier":")" + identifier + R"(","version":")" + version + "\"}";
}

Tree releaseTree(const std::string& version, const std::string& program) {
    return {{"bin/orvane", {program, true}},
            {"lib/liborvane-helper.so", {"ELF " + version, false}},
            {"share/orvane/release.json", {releaseJson(version), false}},
            {"share/orvane/bundle.json", {R"({"OrvaneBuildChannel":"production"})", false}}};
}

// The new copy answers --version only while the previous copy still waits beside it, so a
// launcher that deleted the old copy before the new one started fails the update.
std::string programRequiringPreviousCopy(const std::string& version) {
    return "#!/bin/sh\n"
           "for old in \"$(dirname \"$0\")\"/../../.orvane-previous-*; do\n"
           "  [ -f \"$old/share/orvane/release.json\" ] && { echo \"orvane " +
           version +
           "\"; exit 0; }\n"
           "done\n"
           "echo 'previous copy already gone'; exit 1\n";
}

pid_t exitedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// A release server, an installed copy and the settings that point the installer at them.
class UpdateInstallerTest : public ::testing::Test {
protected:
    UpdateInstallerTest()
        : tmpdirEnv_("TMPDIR", (dir_ / "tmp").string()), server_([this](const TestHttpRequest& request) {
              const auto found = routes_.find(request.path);
              return found == routes_.end() ? TestHttpResponse{404, {}, "not found"} : found->second;
          }) {
        fs::create_directories(dir_ / "tmp");
        installed_ = dir_ / "lib" / "orvane";
        testing::writeTree(installed_, releaseTree("0.1.0", "#!/bin/sh\necho 'orvane 0.1.0'\n"));
        original_ = testing::snapshotTree(installed_);
        settings_.webSiteOrigin = server_.baseURL();
        settings_.installedLocation = installed_;
        settings_.updatesFolder = dir_ / "data" / "Orvane" / "Updates";
        settings_.publicKeyBase64 = key_.publicKeyBase64();
        settings_.expectedIdentifier = kOrvaneProductIdentifier;
    }

    // Publishes `tree` at /downloads/orvane.tar.xz with a signature over `signedBytes` (the archive
    // itself unless given).
    void publish(const Tree& tree, std::optional<std::string> signedBytes = std::nullopt) {
        const auto archive = dir_ / "published.tar.xz";
        // Packed as CPack packs it: everything inside one top-level folder.
        Tree packed;
        for (const auto& [path, file] : tree) packed["orvane-0.2.0-linux-x86_64/" + path] = file;
        testing::writeTarXz(archive, packed);
        const auto bytes = testing::readBinaryFile(archive);
        routes_["/downloads/orvane.tar.xz"] = TestHttpResponse{200, {}, bytes};
        routes_["/downloads/orvane.tar.xz.sig"] = TestHttpResponse{200, {}, key_.sign(signedBytes.value_or(bytes))};
    }

    AppRelease release(const std::string& version = "0.2.0") {
        return AppRelease{version, std::nullopt, std::nullopt, "/downloads/orvane.tar.xz"};
    }

    UpdateInstaller installer() { return UpdateInstaller(std::make_shared<CurlHttpTransport>(), settings_); }

    // The message the user would read, or "prepared" when nothing failed.
    std::string failureOf(const AppRelease& wanted) {
        try {
            installer().prepare(wanted);
        } catch (const UpdateInstallError& error) {
            return installFailureNotice(error.what()).message;
        } catch (const HttpTransportError& error) {
            return installFailureNotice(error.what()).message;
        }
        return "prepared";
    }

    // Beside the installed copy, in the temporary folder and in the updates folder nothing is left.
    void expectNothingLeftBehind() {
        EXPECT_EQ(testing::snapshotTree(installed_), original_);
        std::vector<std::string> beside;
        for (const auto& entry : fs::directory_iterator(installed_.parent_path())) {
            beside.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(beside, std::vector<std::string>{"orvane"});
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
    }

    ChildResult runLauncher(const UpdateInstallPlan& plan, const std::vector<std::string>& relaunch) {
        return runChild("/bin/sh", UpdateInstaller::launcherArguments(plan, exitedProcess(), "", relaunch));
    }

    testing::TempDir dir_;
    testing::ScopedEnv tmpdirEnv_;
    std::map<std::string, TestHttpResponse> routes_;
    TestHttpServer server_;
    testing::SigningKey key_;
    fs::path installed_;
    std::map<std::string, std::string> original_;
    UpdateSettings settings_;
};

TEST_F(UpdateInstallerTest, ANewerSignedReleaseReplacesTheInstalledCopyAfterItStarts) {
    publish(releaseTree("0.2.0", programRequiringPreviousCopy("0.2.0")));
    std::vector<std::uint64_t> progress;
    const auto plan =
        installer().prepare(release(), [&](std::uint64_t received, std::uint64_t) { progress.push_back(received); });
    // Staged beside the installed copy; nothing installed has changed yet.
    EXPECT_EQ(testing::snapshotTree(installed_), original_);
    EXPECT_EQ(plan.staged.parent_path().parent_path().parent_path(), installed_.parent_path());
    EXPECT_EQ(ReleaseIdentity::read(plan.staged)->version, "0.2.0");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), testing::readBinaryFile(dir_ / "published.tar.xz").size());
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));

    const auto marker = dir_ / "relaunched";
    const auto result = runLauncher(plan, {"/bin/sh", "-c", "echo started > '" + marker.string() + "'"});
    EXPECT_EQ(result.exitStatus, 0) << result.output << testing::readBinaryFile(plan.log);

    const auto now = testing::snapshotTree(installed_);
    EXPECT_EQ(now.at("share/orvane/release.json").substr(now.at("share/orvane/release.json").find('{')),
              releaseJson("0.2.0"));
    EXPECT_EQ(testing::readBinaryFile(installed_ / "lib" / "liborvane-helper.so"), "ELF 0.2.0");
    // The previous copy and the staging folder are gone once the new copy has started.
    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(installed_.parent_path())) {
        beside.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(beside, std::vector<std::string>{"orvane"});
    EXPECT_NE(testing::readBinaryFile(plan.log).find("installed 0.2.0"), std::string::npos);
    // The relaunch runs detached; give it a moment to write.
    for (int i = 0; i < 100 && !fs::exists(marker); ++i) ::usleep(20'000);
    EXPECT_TRUE(fs::exists(marker));
}

TEST_F(UpdateInstallerTest, ANewCopyThatDoesNotStartIsRolledBack) {
    publish(releaseTree("0.2.0", "#!/bin/sh\necho 'missing library' >&2\nexit 3\n"));
    const auto plan = installer().prepare(release());
    const auto result = runLauncher(plan, {});
    EXPECT_EQ(result.exitStatus, 44);
    EXPECT_EQ(testing::snapshotTree(installed_), original_);
    const auto log = testing::readBinaryFile(plan.log);
    EXPECT_NE(log.find("restoring the previous one"), std::string::npos) << log;
    EXPECT_NE(log.find("install failed status=44"), std::string::npos) << log;
}

TEST_F(UpdateInstallerTest, EveryRefusalNamesItsReasonAndLeavesTheInstalledCopyAlone) {
    const std::string suffix = "\n\nYou can still download the signed installer manually.";

    // Signed by someone else's key (here: a signature over other bytes).
    publish(releaseTree("0.2.0", "#!/bin/sh\necho 'orvane 0.2.0'\n"), std::string("other bytes"));
    EXPECT_EQ(failureOf(release()), "The downloaded app bundle did not match Orvane." + suffix);
    expectNothingLeftBehind();

    // The manifest promised 0.2.0; the archive holds 0.3.0.
    publish(releaseTree("0.3.0", "#!/bin/sh\necho 'orvane 0.3.0'\n"));
    EXPECT_EQ(failureOf(release()), "The release archive contained 0.3.0, but 0.2.0 was expected." + suffix);
    expectNothingLeftBehind();

    // Another product's archive.
    auto foreign = releaseTree("0.2.0", "#!/bin/sh\n");
    foreign["share/orvane/release.json"].contents = releaseJson("0.2.0", "org.example.Other");
    publish(foreign);
    EXPECT_EQ(failureOf(release()), "The downloaded app bundle did not match Orvane." + suffix);
    expectNothingLeftBehind();

    // An archive without a release tree.
    publish({{"README", {"hello", false}}});
    EXPECT_EQ(failureOf(release()), "The release archive did not contain Orvane." + suffix);
    expectNothingLeftBehind();

    // An archive reaching outside its folder.
    publish({{"../escaped", {"x", false}}, {"share/orvane/release.json", {releaseJson("0.2.0"), false}}});
    EXPECT_EQ(failureOf(release()), "The downloaded release archive could not be unpacked." + suffix);
    EXPECT_FALSE(fs::exists(installed_.parent_path().parent_path() / "escaped"));
    expectNothingLeftBehind();

    // Not published.
    EXPECT_EQ(failureOf(AppRelease{"0.2.0", {}, {}, "/downloads/missing.tar.xz"}),
              "The update download failed with HTTP 404." + suffix);
    EXPECT_EQ(failureOf(AppRelease{"0.2.0", {}, server_.baseURL() + "/nowhere.tar.xz", {}}),
              "The update download failed with HTTP 404." + suffix);
    expectNothingLeftBehind();

    // The connection drops mid-download.
    publish(releaseTree("0.2.0", "#!/bin/sh\n"));
    auto cut = routes_["/downloads/orvane.tar.xz"];
    cut.truncate = true;
    routes_["/downloads/orvane.tar.xz"] = cut;
    EXPECT_EQ(failureOf(release()), "The network connection was lost." + suffix);
    expectNothingLeftBehind();

    // A complete answer holding only half the archive fails the signature.
    publish(releaseTree("0.2.0", "#!/bin/sh\n"));
    const auto full = routes_["/downloads/orvane.tar.xz"].body;
    routes_["/downloads/orvane.tar.xz"].body = full.substr(0, full.size() / 2);
    EXPECT_EQ(failureOf(release()), "The downloaded app bundle did not match Orvane." + suffix);
    expectNothingLeftBehind();

    EXPECT_EQ(failureOf(AppRelease{"0.2.0", {}, {}, {}}),
              "The update manifest does not include a signed installer URL." + suffix);
    settings_.publicKeyBase64.clear();
    EXPECT_EQ(failureOf(release()),
              "This Orvane build has no update signing key, so it cannot verify an update." + suffix);
    expectNothingLeftBehind();
}

TEST_F(UpdateInstallerTest, AnInstalledLocationTheUserCannotWriteIsStagedInTheUpdatesFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "the administrator may write every folder";
    publish(releaseTree("0.2.0", "#!/bin/sh\necho 'orvane 0.2.0'\n"));
    fs::permissions(installed_.parent_path(), fs::perms::owner_write, fs::perm_options::remove);
    const auto plan = installer().prepare(release());
    fs::permissions(installed_.parent_path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(plan.stagingFolder.parent_path(), settings_.updatesFolder);
    EXPECT_EQ(testing::snapshotTree(installed_), original_);
}

}  // namespace
}  // namespace orvane
