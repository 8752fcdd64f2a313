#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/xdg_paths.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

TEST(JsonPreferencesStore, ChangesAreSeenAtOnceByAnotherStoreOnTheSameFile) {
    TempDir dir;
    const auto file = dir / "Orvane" / "preferences.json";
    JsonPreferencesStore app(file);
    JsonPreferencesStore cli(file);

    EXPECT_FALSE(app.get("zantLastUsedSourceID"));
    app.set("zantLastUsedSourceID", std::string("display:1"));
    app.set("zantAutoZoomOnClicks", false);
    app.set("zantShareMaxUploadMB", 100.0);
    EXPECT_EQ(cli.get("zantLastUsedSourceID"), PreferenceValue(std::string("display:1")));
    EXPECT_EQ(cli.get("zantAutoZoomOnClicks"), PreferenceValue(false));
    EXPECT_EQ(cli.get("zantShareMaxUploadMB"), PreferenceValue(100.0));

    // A same-size rewrite within the same clock tick must still be noticed.
    cli.set("zantLastUsedSourceID", std::string("display:2"));
    EXPECT_EQ(app.get("zantLastUsedSourceID"), PreferenceValue(std::string("display:2")));

    // Each store starts from the file, not its own stale copy, so neither undoes the other's change.
    app.set("zantDefaultMicOn", true);
    EXPECT_EQ(cli.get("zantLastUsedSourceID"), PreferenceValue(std::string("display:2")));
    EXPECT_EQ(app.get("zantLastUsedSourceID"), PreferenceValue(std::string("display:2")));

    cli.remove("zantAutoZoomOnClicks");
    EXPECT_FALSE(app.get("zantAutoZoomOnClicks"));

    // A fresh store, as after a restart, reads the same values with the same kinds.
    JsonPreferencesStore restarted(file);
    EXPECT_EQ(restarted.get("zantShareMaxUploadMB"), PreferenceValue(100.0));
    EXPECT_EQ(restarted.get("zantDefaultMicOn"), PreferenceValue(true));

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(JsonPreferencesStore, HandEditedValuesOfOtherKindsAreKeptButNotReturned) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    writeTextFile(file, R"({"zantFaceCameraFrame": [1, 2, 3, 4], "count": 3, "zantDefaultMicOn": null})");
    JsonPreferencesStore store(file);
    EXPECT_FALSE(store.get("zantFaceCameraFrame"));
    EXPECT_FALSE(store.get("zantDefaultMicOn"));
    // Whole numbers written by hand read as numbers.
    EXPECT_EQ(store.get("count"), PreferenceValue(3.0));

    store.set("zantDefaultAudioOn", true);
    JsonPreferencesStore other(file);
    EXPECT_EQ(other.get("count"), PreferenceValue(3.0));
    EXPECT_NE(readTextFile(file).find("[\n    1,"), std::string::npos) << readTextFile(file);
}

TEST(JsonPreferencesStore, MalformedFileIsLeftAloneUntilTheNextSetWhichKeepsACopy) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    const std::string broken = "{\"zantAutoZoomOnClicks\": false,";
    writeTextFile(file, broken);

    std::vector<std::string> lines;
    log::ScopedSink sink([&](log::Level, const std::string& line) { lines.push_back(line); });

    JsonPreferencesStore store(file);
    EXPECT_FALSE(store.get("zantAutoZoomOnClicks"));
    EXPECT_FALSE(store.get("zantDefaultMicOn"));
    store.remove("zantAutoZoomOnClicks");
    EXPECT_EQ(readTextFile(file), broken);
    EXPECT_FALSE(std::filesystem::exists(store.corruptCopyFile()));
    // Logged once, not on every read.
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[Orvane.Config] ", 0), 0u);

    store.set("zantDefaultMicOn", false);
    EXPECT_EQ(readTextFile(store.corruptCopyFile()), broken);
    EXPECT_EQ(store.corruptCopyFile().filename(), "preferences.json.corrupt");
    JsonPreferencesStore reread(file);
    EXPECT_EQ(reread.get("zantDefaultMicOn"), PreferenceValue(false));
}

TEST(JsonPreferencesStore, ADeeplyNestedFileIsMalformedAndKeptAsItWas) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    // Valid JSON, but nested far past anything the store writes.
    const std::string deep = "{\"zantDefaultMicOn\": " + std::string(200'000, '[') + std::string(200'000, ']') + "}";
    writeTextFile(file, deep);
    JsonPreferencesStore store(file);
    EXPECT_FALSE(store.get("zantDefaultMicOn"));
    store.set("zantAutoZoomOnClicks", false);
    EXPECT_EQ(readTextFile(store.corruptCopyFile()), deep);
    EXPECT_EQ(JsonPreferencesStore(file).get("zantAutoZoomOnClicks"), PreferenceValue(false));
}

TEST(JsonPreferencesStore, FailedSetKeepsThePreviousValueAndRefusesNonFiniteNumbers) {
    TempDir dir;
    writeTextFile(dir / "not-a-folder", "x");
    JsonPreferencesStore unwritable(dir / "not-a-folder" / "preferences.json");
    EXPECT_THROW(unwritable.set("zantDefaultMicOn", true), PreferencesError);
    EXPECT_FALSE(unwritable.get("zantDefaultMicOn"));

    JsonPreferencesStore store(dir / "preferences.json");
    store.set("zantFaceCameraRadius", 18.0);
    EXPECT_THROW(store.set("zantFaceCameraRadius", std::numeric_limits<double>::infinity()), PreferencesError);
    EXPECT_THROW(store.set("zantFaceCameraRadius", std::nan("")), PreferencesError);
    EXPECT_EQ(store.get("zantFaceCameraRadius"), PreferenceValue(18.0));
}

TEST(JsonPreferencesStore, ObserversHearOwnChangesAndRefreshReportsAnotherProcesssChanges) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    JsonPreferencesStore store(file);
    JsonPreferencesStore other(file);
    std::vector<std::string> heard;
    auto subscription = store.observe([&](const std::string& key) { heard.push_back(key); });

    store.set("zantDefaultCursorRing", std::string("blue"));
    store.set("zantDefaultMicOn", true);
    store.remove("zantDefaultMicOn");
    store.remove("zantDefaultMicOn");  // nothing left to remove: no change to report
    EXPECT_EQ(heard, (std::vector<std::string>{"zantDefaultCursorRing", "zantDefaultMicOn", "zantDefaultMicOn"}));

    heard.clear();
    other.set("zantDefaultCursorRing", std::string("green"));
    other.set("zantHotkeyScreenshotEnabled", true);
    other.set("zantDefaultCursorRing", std::string("blue"));  // back to what `store` last saw
    store.refresh();
    EXPECT_EQ(heard, (std::vector<std::string>{"zantHotkeyScreenshotEnabled"}));
    heard.clear();
    store.refresh();
    EXPECT_TRUE(heard.empty());
}

TEST(JsonPreferencesStore, DefaultFileLivesInTheOrvaneConfigFolder) {
    TempDir dir;
    testing::ScopedEnv env("XDG_CONFIG_HOME", dir.path().string());
    EXPECT_EQ(JsonPreferencesStore::defaultFile(), dir / "Orvane" / "preferences.json");
    JsonPreferencesStore store;
    store.set("zantScreenshotDestination", std::string("desktop"));
    EXPECT_TRUE(std::filesystem::exists(XdgPaths::orvaneConfigFolder() / "preferences.json"));
}

}  // namespace
}  // namespace orvane
