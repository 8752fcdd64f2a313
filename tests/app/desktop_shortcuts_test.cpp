#include "app/desktop_shortcuts.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

void makeProgram(const fs::path& file, fs::perms permissions = fs::perms::owner_all) {
    testing::writeTextFile(file, "#!/bin/sh\n");
    fs::permissions(file, permissions);
}

TEST(DesktopShortcutsTest, TheCommandIsWhatTheDesktopCanRunFromTheKeyBinding) {
    testing::TempDir dir;
    const auto onPath = dir / "bin";
    const auto studioFolder = dir / "My Apps" / "orvane's bin";
    makeProgram(studioFolder / "orvane");
    fs::create_directories(onPath);

    // Not on the path: the one beside the studio, quoted so a shell keeps the space and the quote.
    const auto beside = app::orvaneCommandForDesktop(onPath.string() + "::/nonexistent", studioFolder);
    EXPECT_EQ(beside, "'" + (dir / "My Apps").string() + "/orvane'\\''s bin/orvane'");
    EXPECT_EQ(app::desktopShortcutCommands(beside).front().command, beside + " open \"orvane://record\"");

    // A file named orvane that cannot run does not count; one that can is found by name.
    makeProgram(onPath / "orvane", fs::perms::owner_read);
    EXPECT_NE(app::orvaneCommandForDesktop(onPath.string(), studioFolder), "orvane");
    fs::permissions(onPath / "orvane", fs::perms::owner_all);
    EXPECT_EQ(app::orvaneCommandForDesktop("/nonexistent:" + onPath.string(), studioFolder), "orvane");

    // Neither: the bare name, for a user who installs the command later.
    EXPECT_EQ(app::orvaneCommandForDesktop("", dir / "empty"), "orvane");
    const auto commands = app::desktopShortcutCommands("orvane");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].command, "orvane open \"orvane://record\"");
    EXPECT_EQ(commands[1].command, "orvane screenshot");
}

}  // namespace
}  // namespace orvane
