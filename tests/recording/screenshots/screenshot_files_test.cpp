#include "recording/screenshot_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "support/temp_dir.h"
#include "support/required_service.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

TEST(ScreenshotFiles, FileNameIsTheLocalTimeWithAtBetweenDateAndTime) {
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    // 2026-03-04 21:05:09 UTC is 22:05:09 in Berlin.
    const auto when = std::chrono::system_clock::from_time_t(1772658309);
    EXPECT_EQ(screenshotFileName(when), "Orvane 2026-03-04 at 22.05.09.png");
    if (oldTz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ScreenshotFiles, ProjectNamesBecomeOneSafeFolderName) {
    EXPECT_EQ(sanitizedProjectFolderName("  Launch video \n"), "Launch video");
    EXPECT_EQ(sanitizedProjectFolderName("a/b\\c:d|e*f?g\"h<i>j"), "a-b-c-d-e-f-g-h-i-j");
    // Separators turn into hyphens before the leading full stops go, so "../x" keeps its hyphen.
    EXPECT_EQ(sanitizedProjectFolderName("../secret"), "-secret");
    EXPECT_EQ(sanitizedProjectFolderName("...hidden.name"), "hidden.name");
    EXPECT_EQ(sanitizedProjectFolderName("...."), "");
    EXPECT_EQ(sanitizedProjectFolderName(std::string(120, 'x')), std::string(96, 'x'));
    // 96 characters, counted as characters: 100 "é" (two bytes each) keep 96 whole ones.
    std::string accents;
    for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(sanitizedProjectFolderName(accents).size(), 192u);
}

TEST(ScreenshotFiles, FoldersFollowTheUsersSpecialFoldersWithHomeFallbacks) {
    ScreenshotFolders folders;
    folders.home = "/home/ada";
    folders.userDirectory = [](std::string_view name) -> std::optional<fs::path> {
        if (name == "PICTURES") return fs::path("/home/ada/Bilder");
        if (name == "DESKTOP") return fs::path("/home/ada/Schreibtisch");
        return std::nullopt;
    };
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::desktop, "Ignored", folders), "/home/ada/Schreibtisch");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, "Q3 / Demo", folders),
              "/home/ada/Bilder/Orvane Screenshots/Q3 - Demo");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, "..", folders), "/home/ada/Bilder/Orvane Screenshots");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, std::nullopt, folders),
              "/home/ada/Bilder/Orvane Screenshots");

    // Unset folders come back as home itself (or not at all): use the usual names under home.
    folders.userDirectory = [](std::string_view name) -> std::optional<fs::path> {
        if (name == "PICTURES") return fs::path("/home/ada/");
        return std::nullopt;
    };
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::desktop, std::nullopt, folders), "/home/ada/Desktop");
    EXPECT_EQ(screenshotFolder(ScreenshotDestination::project, std::nullopt, folders),
              "/home/ada/Pictures/Orvane Screenshots");

    EXPECT_EQ(screenshotDestinationFromRaw("desktop"), ScreenshotDestination::desktop);
    EXPECT_EQ(screenshotDestinationFromRaw("Desktop"), ScreenshotDestination::project);
    EXPECT_EQ(screenshotDestinationFromRaw(""), ScreenshotDestination::project);
    EXPECT_EQ(rawValue(ScreenshotDestination::project), "project");
}

TEST(ScreenshotFiles, SystemFoldersComeFromXdgUserDir) {
    ORVANE_REQUIRE_SERVICE(std::system("command -v xdg-user-dir >/dev/null 2>&1") == 0, "xdg-user-dir is not installed");
    testing::TempDir home;
    testing::writeTextFile(home / ".config" / "user-dirs.dirs",
                           "XDG_PICTURES_DIR=\"$HOME/Fotos\"\nXDG_DESKTOP_DIR=\"$HOME/Escritorio\"\n");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");

    const auto folders = ScreenshotFolders::system();
    EXPECT_EQ(folders.home, home.path());
    EXPECT_EQ(folders.pictures(), home / "Fotos");
    EXPECT_EQ(folders.desktop(), home / "Escritorio");

    setenv("HOME", savedHome.c_str(), 1);
    if (oldConfig) setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

}  // namespace
}  // namespace orvane
