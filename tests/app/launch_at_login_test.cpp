#include "app/launch_at_login.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/preferences.h"
#include "platform/linux/json_preferences_store.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

class LaunchAtLoginTest : public ::testing::Test {
protected:
    LaunchAtLoginTest() { testing::writeTextFile(studio, "#!/bin/sh\n"); }

    testing::TempDir dir;
    testing::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    testing::ScopedEnv appImage{"APPIMAGE", std::nullopt};
    std::filesystem::path studio = dir / "prefix" / "bin" / "orvane studio";
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
};

TEST_F(LaunchAtLoginTest, FirstLaunchEnablesOnceAndLaterLaunchesKeepTheUsersChoice) {
    LaunchAtLoginController first(preferences, studio, true);
    EXPECT_EQ(first.statusText(), "Off");
    first.applyDefaultIfNeeded();
    EXPECT_TRUE(first.isEnabled());
    EXPECT_EQ(first.statusText(), "Starts at login");
    const auto text = testing::readTextFile(LaunchAtLoginController::autostartEntryPath());
    EXPECT_NE(text.find("Exec=\"" + studio.string() + "\"\n"), std::string::npos) << text;
    EXPECT_TRUE(preferences.launchAtLoginDefaultConfigured());

    first.setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(LaunchAtLoginController::autostartEntryPath()));
    EXPECT_EQ(first.statusText(), "Off");

    LaunchAtLoginController second(preferences, studio, true);
    second.applyDefaultIfNeeded();
    EXPECT_FALSE(second.isEnabled());
}

TEST_F(LaunchAtLoginTest, UninstalledOrMissingProgramsAndEntriesTheSessionSwitchedOff) {
    LaunchAtLoginController fromBuild(preferences, studio, false);
    fromBuild.applyDefaultIfNeeded();
    EXPECT_FALSE(fromBuild.isEnabled());
    EXPECT_TRUE(preferences.launchAtLoginDefaultConfigured());

    LaunchAtLoginController missing(preferences, dir / "gone", true);
    EXPECT_EQ(missing.status(), LaunchAtLoginStatus::notFound);
    EXPECT_EQ(missing.statusText(), "Unavailable");
    LaunchAtLoginController unknown(preferences, std::nullopt, true);
    unknown.setEnabled(true);
    EXPECT_TRUE(unknown.errorMessage());
    EXPECT_EQ(unknown.statusText(), "Unavailable");

    // A session's settings switch an entry off without deleting it.
    LaunchAtLoginController controller(preferences, studio, true);
    controller.setEnabled(true);
    const auto path = LaunchAtLoginController::autostartEntryPath();
    testing::writeTextFile(path, testing::readTextFile(path) + "Hidden=true\n");
    controller.refresh();
    EXPECT_FALSE(controller.isEnabled());
    controller.setEnabled(true);  // not enabled, so it is written afresh
    EXPECT_TRUE(controller.isEnabled());
    EXPECT_FALSE(controller.needsApproval());

    // An autostart folder that cannot be written reports the error and changes nothing.
    controller.setEnabled(false);
    ::chmod(path.parent_path().c_str(), 0500);
    controller.setEnabled(true);
    ::chmod(path.parent_path().c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_TRUE(controller.errorMessage());
        EXPECT_EQ(controller.statusText(), "Off");
    }
}

TEST_F(LaunchAtLoginTest, InstalledLocationIsAPrefixWithItsSharedFolderOrAnAppImage) {
    EXPECT_FALSE(LaunchAtLoginController::runsFromInstalledLocation(studio));
    std::filesystem::create_directories(dir / "prefix" / "share" / "orvane");
    EXPECT_TRUE(LaunchAtLoginController::runsFromInstalledLocation(studio));
    EXPECT_FALSE(LaunchAtLoginController::runsFromInstalledLocation(dir / "build" / "orvane-studio"));
    testing::ScopedEnv image("APPIMAGE", "/home/u/Orvane.AppImage");
    EXPECT_TRUE(LaunchAtLoginController::runsFromInstalledLocation(dir / "tmp" / "orvane-studio"));
}

}  // namespace
}  // namespace orvane
