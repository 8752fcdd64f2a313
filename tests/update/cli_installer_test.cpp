#include <gtest/gtest.h>

#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "update/cli_installer.h"
#include "update/release_archive_builder.h"

namespace fs = std::filesystem;

namespace orvane {
namespace {

// A fake pkexec on $PATH: one that declines like a dismissed authentication dialog, or one that runs
// the command (as this user, over folders the test owns). $PATH holds only it and the few tools the
// link scripts use, so a real pkexec on the machine is never asked.
class CliInstallerTest : public ::testing::Test {
protected:
    CliInstallerTest() : pathEnv_("PATH", (dir_ / "fakebin").string() + ":" + (dir_ / "tools").string()) {
        fs::create_directories(dir_ / "tools");
        for (const char* tool : {"sh", "readlink", "dirname", "mkdir", "ln", "rm"}) {
            for (const fs::path folder : {"/bin", "/usr/bin"}) {
                if (fs::exists(folder / tool) && !fs::exists(fs::symlink_status(dir_ / "tools" / tool))) {
                    fs::create_symlink(folder / tool, dir_ / "tools" / tool);
                }
            }
        }
        testing::writeTree(dir_.path(), {{"home/.local/lib/orvane/bin/orvane", {"#!/bin/sh\n", true}},
                                         {"other/orvane/bin/orvane", {"#!/bin/sh\n", true}}});
        fs::create_directories(dir_ / "fakebin");
        settings_.bundledTool = dir_ / "home/.local/lib/orvane/bin/orvane";
        settings_.appIsInstalled = true;
        settings_.installedLocation = dir_ / "home/.local/lib/orvane";
        settings_.commandName = "orvane";
        settings_.systemLink = dir_ / "usr-local/bin/orvane";
        settings_.userLink = dir_ / "home/.local/bin/orvane";
    }

    void fakePkexec(const std::string& body) {
        testing::writeTree(dir_ / "fakebin", {{"pkexec", {"#!/bin/sh\n" + body + "\n", true}}});
    }

    testing::TempDir dir_;
    testing::ScopedEnv pathEnv_;
    CliInstallerSettings settings_;
};

TEST_F(CliInstallerTest, ADeclinedOrMissingPkexecFallsBackToTheUsersOwnBinFolder) {
    fakePkexec("exit 126");
    CliInstaller installer(settings_);
    EXPECT_EQ(installer.status().state, CliInstallState::notInstalled);
    const auto outcome = installer.install();
    EXPECT_EQ(outcome.message, "Orvane CLI installed");
    EXPECT_EQ(outcome.linkPath, settings_.userLink);
    EXPECT_TRUE(outcome.detail.starts_with("Administrator authorization was cancelled or failed."));
    EXPECT_EQ(fs::read_symlink(settings_.userLink), settings_.bundledTool);
    EXPECT_FALSE(fs::exists(fs::symlink_status(settings_.systemLink)));
    EXPECT_EQ(installer.status().state, CliInstallState::installed);

    // Without pkexec at all, the same place, no question asked.
    fs::remove(settings_.userLink);
    fs::remove(dir_ / "fakebin" / "pkexec");
    EXPECT_EQ(installer.install().linkPath, settings_.userLink);
    EXPECT_EQ(installer.remove().message, "Orvane CLI removed");
    EXPECT_FALSE(fs::exists(fs::symlink_status(settings_.userLink)));
}

TEST_F(CliInstallerTest, AnAcceptedPkexecLinksRepairsAndRemovesTheSystemCommand) {
    fakePkexec("exec \"$@\"");
    CliInstaller installer(settings_);
    const auto outcome = installer.install();
    EXPECT_EQ(outcome.linkPath, settings_.systemLink);
    EXPECT_TRUE(outcome.detail.empty());
    EXPECT_EQ(fs::read_symlink(settings_.systemLink), settings_.bundledTool);
    auto status = installer.status();
    EXPECT_EQ(status.state, CliInstallState::installed);
    EXPECT_EQ(status.detail,
              "`orvane` is installed and points at this Orvane app. It updates automatically when Orvane updates.");

    // A link to another copy needs repair, and install repairs it.
    fs::remove(settings_.systemLink);
    fs::create_symlink(dir_ / "other/orvane/bin/orvane", settings_.systemLink);
    status = installer.status();
    EXPECT_EQ(status.state, CliInstallState::needsRepair);
    EXPECT_EQ(status.detail, "`orvane` points at another Orvane app. Repair to use this Orvane build.");
    installer.install();
    EXPECT_EQ(fs::read_symlink(settings_.systemLink), settings_.bundledTool);

    const auto removed = installer.remove();
    EXPECT_EQ(removed.message, "Orvane CLI removed");
    EXPECT_FALSE(fs::exists(fs::symlink_status(settings_.systemLink)));

    // Declining the removal leaves the link.
    installer.install();
    fakePkexec("exit 126");
    try {
        installer.remove();
        ADD_FAILURE() << "removal went ahead without authorization";
    } catch (const CliInstallError& error) {
        EXPECT_STREQ(error.what(), "Administrator authorization was cancelled or failed.");
    }
    EXPECT_TRUE(fs::is_symlink(settings_.systemLink));
}

TEST_F(CliInstallerTest, AnythingThatIsNotOurLinkIsNeverTouched) {
    fakePkexec("exec \"$@\"");
    CliInstaller installer(settings_);
    const auto refusal = [&](auto&& call) {
        try {
            call();
        } catch (const CliInstallError& error) {
            return std::string(error.what());
        }
        return std::string("went ahead");
    };

    testing::writeTree(dir_.path(), {{"usr-local/bin/orvane", {"someone's own script", true}}});
    const std::string fileMessage = settings_.systemLink.string() +
                                    " already exists and is not a symlink. Move it before installing the bundled "
                                    "Orvane CLI.";
    EXPECT_EQ(installer.status().state, CliInstallState::blockedByExistingFile);
    EXPECT_EQ(installer.status().detail, fileMessage);
    EXPECT_EQ(refusal([&] { installer.install(); }), fileMessage);
    EXPECT_EQ(refusal([&] { installer.remove(); }), fileMessage);
    EXPECT_EQ(testing::readBinaryFile(settings_.systemLink), "someone's own script");

    fs::remove(settings_.systemLink);
    fs::create_symlink("/usr/bin/env", settings_.systemLink);
    const std::string linkMessage = settings_.systemLink.string() +
                                    " points at /usr/bin/env, not a bundled Orvane CLI. Move it before installing "
                                    "the bundled Orvane CLI.";
    EXPECT_EQ(installer.status().state, CliInstallState::blockedByExistingSymlink);
    EXPECT_EQ(refusal([&] { installer.install(); }), linkMessage);
    EXPECT_EQ(refusal([&] { installer.remove(); }), linkMessage);
    EXPECT_EQ(fs::read_symlink(settings_.systemLink), "/usr/bin/env");

    // A copy that is not the installed one, or has no tool, installs nothing.
    auto elsewhere = settings_;
    elsewhere.appIsInstalled = false;
    EXPECT_EQ(CliInstaller(elsewhere).status().detail,
              "Move Orvane to " + settings_.installedLocation.string() +
                  " before installing the CLI so the `orvane` command keeps working after the unpacked archive is "
                  "removed.");
    auto toolless = settings_;
    toolless.bundledTool = dir_ / "nowhere/bin/orvane";
    EXPECT_EQ(refusal([&] { CliInstaller(toolless).install(); }),
              "This Orvane build does not include the command-line tool.");
    EXPECT_FALSE(fs::exists(fs::symlink_status(settings_.userLink)));
}

}  // namespace
}  // namespace orvane
