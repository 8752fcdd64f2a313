#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "export/cache/cache_test_snapshot.h"
#include "export/cache/export_render_cache.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::cacheTestProfile;
using testing::cacheTestSnapshot;
using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

class ExportRenderCacheTest : public ::testing::Test {
protected:
    ExportCacheLookup lookup(ExportPreset preset = ExportPreset::web1080) {
        return cache.lookup(snapshot, settings, profile, preset);
    }

    TempDir media;
    TempDir cacheDir;
    ExportRenderCache cache{cacheDir / "ExportCache"};
    SceneRenderSnapshot snapshot = cacheTestSnapshot(media.path());
    ExportSettings settings;
    OutputProfile profile = cacheTestProfile();
};

TEST_F(ExportRenderCacheTest, GifAndMp4OfOneEditAreTwoEntries) {
    const auto mp4 = lookup(ExportPreset::web1080);
    const auto gif = lookup(ExportPreset::gif);
    EXPECT_NE(mp4.key, gif.key);
    EXPECT_EQ(mp4.outputPath, cache.directory() / (mp4.key + ".mp4"));
    EXPECT_EQ(gif.outputPath, cache.directory() / (gif.key + ".gif"));
    EXPECT_EQ(gif.sidecarPath, cache.directory() / (gif.key + ".zant.json"));
    EXPECT_FALSE(mp4.hit);

    writeTextFile(media / "out.mp4", "mp4 bytes");
    writeTextFile(media / "out.gif", "gif bytes");
    writeTextFile(media / "out.zant.json", "{\"exportKind\":\"gif\"}");
    cache.store(media / "out.mp4", std::nullopt, mp4);
    cache.store(media / "out.gif", media / "out.zant.json", gif);

    EXPECT_TRUE(lookup(ExportPreset::web1080).hit);
    EXPECT_TRUE(lookup(ExportPreset::gif).hit);
    EXPECT_EQ(readTextFile(mp4.outputPath), "mp4 bytes");
    EXPECT_EQ(readTextFile(gif.outputPath), "gif bytes");
    EXPECT_EQ(readTextFile(gif.sidecarPath), "{\"exportKind\":\"gif\"}");
    EXPECT_FALSE(std::filesystem::exists(mp4.sidecarPath));
    EXPECT_TRUE(testing::pendingFiles(cache.directory()).empty());
}

TEST_F(ExportRenderCacheTest, EverythingThatShapesTheFileChangesTheKey) {
    writeTextFile(media / "voice.m4a", "voice");
    writeTextFile(media / "music.m4a", "music");
    AudioClip voice;
    voice.startTime = 2;
    voice.duration = 3;
    voice.path = media / "voice.m4a";
    snapshot.edit.audio.voiceClips = {voice};
    snapshot.edit.audio.backgroundMusicPath = media / "music.m4a";
    const std::string base = lookup().key;
    EXPECT_EQ(lookup().key, base) << "keys must be stable";

    const std::vector<std::pair<const char*, std::function<void()>>> edits = {
        {"aspect", [&] { settings.aspect = ExportAspectRatio::square; }},
        {"quality setting", [&] { settings.quality = ExportQuality::maximum; }},
        {"profile fps", [&] { profile.fps = 30; }},
        {"profile size", [&] { profile.width = 1920; }},
        {"trim end", [&] { snapshot.edit.timeline.trimEnd = 39; }},
        {"head offset", [&] { snapshot.edit.timeline.clips[0].headOffset = 1; }},
        {"voice volume", [&] { snapshot.edit.audio.voiceClips[0].volume = 0.5f; }},
        {"voice bytes", [&] { writeTextFile(media / "voice.m4a", "VOICE"); }},
        {"music volume", [&] { snapshot.edit.audio.backgroundMusicVolume = 0.5f; }},
        {"mute",
         [&] {
             snapshot.edit.audio.muteRegions.push_back(MuteRegion{Uuid::random(), 1, 2});
         }},
        {"click sounds", [&] { snapshot.edit.cursor.cursorClickSounds = true; }},
        {"recording bytes", [&] { writeTextFile(snapshot.videoPath, "other take"); }},
    };
    for (const auto& [name, edit] : edits) {
        const SceneRenderSnapshot savedSnapshot = snapshot;
        const ExportSettings savedSettings = settings;
        const OutputProfile savedProfile = profile;
        edit();
        EXPECT_NE(lookup().key, base) << name;
        snapshot = savedSnapshot;
        settings = savedSettings;
        profile = savedProfile;
    }
}

TEST_F(ExportRenderCacheTest, AFailedStoreKeepsThePreviousEntry) {
    const auto entry = lookup();
    writeTextFile(media / "first.mp4", "first export");
    writeTextFile(media / "first.zant.json", "{}");
    cache.store(media / "first.mp4", media / "first.zant.json", entry);

    writeTextFile(media / "second.mp4", "second export");
    // The sidecar goes first, so a missing sidecar stops the store before the video is touched.
    EXPECT_THROW(cache.store(media / "second.mp4", media / "missing.zant.json", entry), std::system_error);
    EXPECT_THROW(cache.store(media / "missing.mp4", std::nullopt, entry), std::system_error);
    ExportCacheLookup wrongExtension = entry;
    wrongExtension.outputPath.replace_extension(".mov");
    EXPECT_THROW(cache.store(media / "second.mp4", std::nullopt, wrongExtension), std::invalid_argument);

    EXPECT_EQ(readTextFile(entry.outputPath), "first export");
    EXPECT_EQ(readTextFile(entry.sidecarPath), "{}");
    EXPECT_TRUE(testing::pendingFiles(cache.directory()).empty());

    // A cache folder that cannot be created is an error for the caller to fall back on.
    writeTextFile(cacheDir / "blocker", "a file, not a folder");
    ExportRenderCache blocked(cacheDir / "blocker" / "ExportCache");
    const auto blockedEntry = blocked.lookup(snapshot, settings, profile, ExportPreset::web1080);
    EXPECT_FALSE(blockedEntry.hit);
    EXPECT_THROW(blocked.store(media / "second.mp4", std::nullopt, blockedEntry), std::filesystem::filesystem_error);
}

}  // namespace
}  // namespace orvane
