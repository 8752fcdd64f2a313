#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.h"
#include "platform/bundle_config.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

BundleConfig bundleFrom(const std::string& json) {
    BundleConfig bundle;
    EXPECT_TRUE(bundle.overlayJSON(json, "test"));
    return bundle;
}

TEST(BundleConfig, BundleKeyRuleFallsBackForUnusableValues) {
    const auto bundle = bundleFrom(R"json({
        "Unexpanded": "$(ORVANE_API_BASE_URL)",
        "UnexpandedInside": "https://$(HOST)/api",
        "Spaces": "   ",
        "Newlines": "\n\t \n",
        "Number": 42,
        "Flag": true,
        "Null": null,
        "Padded": "  https://api.example.test \n",
        "Dollar": "price$5(ok)"
    })json");
    EXPECT_EQ(bundle.bundleString("Unexpanded", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("UnexpandedInside", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Spaces", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Newlines", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Number", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Flag", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Null", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Missing", "fb"), "fb");
    EXPECT_EQ(bundle.bundleString("Padded", "fb"), "https://api.example.test");
    // Only the two characters together mark a build variable.
    EXPECT_EQ(bundle.bundleString("Dollar", "fb"), "price$5(ok)");
    EXPECT_TRUE(bundle.contains("Number"));
    EXPECT_FALSE(bundle.contains("Missing"));
}

TEST(BundleConfig, LaterLayersOverrideKeyByKeyAndBadFilesAreSkipped) {
    testing::TempDir dir;
    testing::writeTextFile(dir / "installed.json", R"({"OrvaneShareHost": "https://installed", "OrvaneA": "a"})");
    testing::writeTextFile(dir / "user.json", R"({"OrvaneShareHost": "https://user", "OrvaneA": 7})");
    testing::writeTextFile(dir / "broken.json", R"({"OrvaneShareHost": "https://broken",)");
    testing::writeTextFile(dir / "array.json", R"(["OrvaneShareHost"])");

    std::vector<std::string> lines;
    log::ScopedSink sink([&](log::Level, const std::string& line) { lines.push_back(line); });

    BundleConfig bundle;
    ASSERT_TRUE(bundle.overlayFile(dir / "installed.json"));
    ASSERT_TRUE(bundle.overlayFile(dir / "user.json"));
    EXPECT_EQ(bundle.bundleString("OrvaneShareHost", "fb"), "https://user");
    // A later non-string value hides the earlier string: the rule sees what the top layer says.
    EXPECT_EQ(bundle.bundleString("OrvaneA", "fb"), "fb");

    EXPECT_FALSE(bundle.overlayFile(dir / "broken.json"));
    EXPECT_FALSE(bundle.overlayFile(dir / "array.json"));
    EXPECT_FALSE(bundle.overlayFile(dir / "absent.json"));
    EXPECT_EQ(bundle.bundleString("OrvaneShareHost", "fb"), "https://user");

    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) EXPECT_EQ(line.rfind("[Orvane.Config] ", 0), 0u) << line;
}

TEST(BundleConfig, LoadTakesTheFileNamedInTheEnvironmentOverTheCompiledInChannel) {
    testing::TempDir dir;
    testing::writeTextFile(dir / "bundle.json", R"({"OrvaneBuildChannel": " Staging\n"})");
    {
        testing::ScopedEnv env("ORVANE_BUNDLE", std::nullopt);
        EXPECT_EQ(BundleConfig::load().bundleString("OrvaneBuildChannel", "fb"),
                  BundleConfig::compiledIn().bundleString("OrvaneBuildChannel", "fb"));
    }
    {
        testing::ScopedEnv env("ORVANE_BUNDLE", (dir / "bundle.json").string());
        EXPECT_EQ(BundleConfig::load().bundleString("OrvaneBuildChannel", "fb"), "Staging");
    }
    {
        // A file that is not there never stops the program: the compiled-in keys stay.
        testing::ScopedEnv env("ORVANE_BUNDLE", (dir / "missing.json").string());
        EXPECT_TRUE(BundleConfig::load().contains("OrvaneBuildChannel"));
    }
}

TEST(BundleConfig, InstalledFileSitsInShareBesideTheProgramsBinFolder) {
    const auto installed = BundleConfig::installedBundleFile();
    ASSERT_TRUE(installed);
    EXPECT_TRUE(installed->is_absolute());
    EXPECT_EQ(installed->filename(), "bundle.json");
    EXPECT_EQ(installed->parent_path().filename(), "orvane");
    EXPECT_EQ(installed->parent_path().parent_path().filename(), "share");
    // This test program lives in <build>/tests/platform, so its "prefix" is <build>/tests.
    const auto program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(installed->parent_path().parent_path().parent_path(), program.parent_path().parent_path());
}

}  // namespace
}  // namespace orvane
