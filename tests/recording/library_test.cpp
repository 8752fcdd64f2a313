#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/atomic_file.h"
#include "base/text.h"
#include "library_fixture.h"
#include "recording/recording_thumbnail_cache.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::LibraryFixture;
using testing::readTextFile;
using testing::writeTextFile;

constexpr const char* kCompleteMeta =
    R"({"id":"$ID","createdAt":"2026-03-01T10:00:00Z","displayWidth":1920,"displayHeight":1080,"fps":60,)"
    R"("durationMs":5000,"hasSystemAudio":false,"hasWebcam":false,"hasCursor":false,"hasMicrophone":false})";

using RecordingLibraryTest = LibraryFixture;

TEST_F(RecordingLibraryTest, ImportTakesTitleDurationAndSizeFromTheFileAndAFailedOneLeavesNothing) {
    auto& library = open();
    writeTextFile(dir_ / "notes.mp4", "this is not a movie");
    for (const auto& bad : {dir_ / "notes.mp4", dir_ / "missing.mp4", dir_.path()}) {
        try {
            library.importVideo(bad);
            ADD_FAILURE() << "imported " << bad;
        } catch (const LibraryError& e) {
            EXPECT_STREQ(e.what(), "Couldn't import video");
        }
    }
    EXPECT_TRUE(library.recordings().empty());
    EXPECT_TRUE(fs::is_empty(location().recordingsRoot));

    const auto meta = library.importVideo(sampleVideo("  clip  .mp4", 1.5));
    EXPECT_EQ(meta.sourceKind, RecordingSourceKind::imported);
    EXPECT_EQ(meta.sourceTitle, "clip");
    EXPECT_EQ(meta.displayWidth, 320);
    EXPECT_EQ(meta.displayHeight, 180);
    EXPECT_NEAR(double(meta.durationMs), 1500.0, 80.0);
    EXPECT_EQ(meta.fps, 30);  // the sample's rate, not the capture default of 60
    EXPECT_FALSE(meta.hasMicrophone || meta.hasCursor || meta.hasWebcam || meta.hasSystemAudio);
    const auto folder = library.folderOf(meta.id);
    EXPECT_TRUE(fs::exists(folder.directory / "screen.mp4"));
    EXPECT_FALSE(fs::exists(folder.directory / "screen.importing.mp4"));
    ASSERT_EQ(library.recordings().size(), 1u);
    EXPECT_EQ(library.recordings()[0], meta);

    // meta.json as written: compact, sorted keys, ISO 8601 date.
    const auto text = readTextFile(folder.metaFile());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find(": "), std::string::npos);
    const auto json = nlohmann::json::parse(text);
    std::vector<std::string> keys;
    for (auto it = json.begin(); it != json.end(); ++it) keys.push_back(it.key());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_TRUE(parseIso8601(json.at("createdAt").get<std::string>()).has_value());
}

TEST_F(RecordingLibraryTest, ListingSkipsUndecodableFoldersSortsNewestFirstAndFindsByUniquePrefix) {
    std::string newer = kCompleteMeta;
    newer.replace(newer.find("2026-03-01"), 10, "2026-04-01");
    std::string noMicFlag = newer;
    noMicFlag.erase(noMicFlag.find(",\"hasMicrophone\":false"), std::string(",\"hasMicrophone\":false").size());
    const std::string older = "0A1B2C3D-0000-4000-8000-000000000001";
    const std::string newest = "0A1B2C3E-0000-4000-8000-000000000002";
    writeRecordingFolder(kCompleteMeta, older);
    writeRecordingFolder(newer, newest);
    writeRecordingFolder(noMicFlag);
    writeRecordingFolder("{ not json");
    fs::create_directories(location().recordingsRoot / "empty-folder");
    writeTextFile(location().recordingsRoot / "stray-file.txt", "x");

    auto& library = open();
    ASSERT_EQ(library.recordings().size(), 2u);
    EXPECT_EQ(library.recordings()[0].id.string(), newest);
    EXPECT_EQ(library.recordings()[1].id.string(), older);

    EXPECT_EQ(library.find(older).id.string(), older);
    EXPECT_EQ(library.find(toLowerAscii(newest)).id.string(), newest);
    EXPECT_EQ(library.find(older.substr(0, 8)).id.string(), older);
    auto codeOf = [&](const std::string& query) {
        try {
            library.find(query);
        } catch (const LibraryError& e) {
            return e.code();
        }
        return LibraryError::Code::writeFailed;  // found: not what these cases expect
    };
    EXPECT_EQ(codeOf(""), LibraryError::Code::recordingNotFound);
    EXPECT_EQ(codeOf("ZZZ"), LibraryError::Code::recordingNotFound);
    EXPECT_EQ(codeOf("0a1b2c3"), LibraryError::Code::ambiguousRecording);
}

TEST_F(RecordingLibraryTest, RecoveryMovesUnplayableCapturesAndCountsThemInTheToast) {
    const auto good = writeRecordingFolder(kCompleteMeta);
    fs::copy_file(sampleVideo(), good / "screen.mp4");
    const auto zeroLength = writeRecordingFolder(kCompleteMeta);
    writeTextFile(zeroLength / "screen.mp4", "");
    const auto noMovie = writeRecordingFolder(kCompleteMeta);  // no screen.mp4 at all: left alone

    // A folder of the same name already in Recovered/ is replaced.
    writeTextFile(location().recoveredRoot / zeroLength.filename() / "old.txt", "stale");

    auto& library = open();
    EXPECT_TRUE(fs::exists(location().recoveredRoot / zeroLength.filename() / "screen.mp4"));
    EXPECT_FALSE(fs::exists(location().recoveredRoot / zeroLength.filename() / "old.txt"));
    EXPECT_FALSE(fs::exists(zeroLength));
    EXPECT_TRUE(fs::exists(good));
    EXPECT_TRUE(fs::exists(noMovie));
    EXPECT_EQ(library.recordings().size(), 2u);

    ASSERT_EQ(toasts_.toasts().size(), 1u);
    const auto& toast = toasts_.toasts()[0];
    EXPECT_EQ(toast.level, ToastLevel::warning);
    EXPECT_EQ(toast.title, "Recovered 1 unfinished recording");
    ASSERT_TRUE(toast.detail);
    EXPECT_EQ(toast.detail->rfind("Orvane was force-quit during capture. The partial files were moved to ", 0), 0u);
    EXPECT_NE(toast.detail->find("Recovered/."), std::string::npos);

    // Two at the next start: plural.
    for (int i = 0; i < 2; ++i) writeTextFile(writeRecordingFolder(kCompleteMeta) / "screen.mp4", "garbage");
    open();
    ASSERT_EQ(toasts_.toasts().size(), 2u);
    EXPECT_EQ(toasts_.toasts()[1].title, "Recovered 2 unfinished recordings");
}

TEST_F(RecordingLibraryTest, RenameDuplicateAndDeleteKeepFilesAndProjectsConsistent) {
    auto& library = open();
    const auto original = library.importVideo(sampleVideo("Demo.mp4"));
    writeTextFile(library.folderOf(original.id).cursorFile(), R"({"points":[],"sampleHz":60})");

    const auto copy = library.duplicate(original.id);
    EXPECT_NE(copy.id, original.id);
    EXPECT_EQ(copy.sourceTitle, "Demo copy");
    EXPECT_EQ(readTextFile(library.folderOf(copy.id).cursorFile()), R"({"points":[],"sampleHz":60})");
    EXPECT_EQ(fs::file_size(library.folderOf(copy.id).directory / "screen.mp4"),
              fs::file_size(library.folderOf(original.id).directory / "screen.mp4"));
    EXPECT_EQ(readRecordingMeta(library.folderOf(copy.id))->id, copy.id);

    library.rename(copy.id, "   ");
    EXPECT_EQ(readTextFile(library.folderOf(copy.id).metaFile()).find("sourceTitle"), std::string::npos);
    EXPECT_EQ(library.find(copy.id.string()).sourceTitle, std::nullopt);
    library.rename(copy.id, "\n Final cut \t");
    EXPECT_EQ(library.find(copy.id.string()).sourceTitle, "Final cut");

    const auto project = library.createProject("Launch");
    library.addToProject(project.id, original.id);
    library.addToProject(project.id, copy.id);
    library.addToProject(project.id, copy.id);  // already a member
    EXPECT_EQ(library.projects()[0].recordingIDs, (std::vector<Uuid>{original.id, copy.id}));

    library.remove(original.id);
    EXPECT_FALSE(fs::exists(library.folderOf(original.id).directory));
    EXPECT_EQ(library.projects()[0].recordingIDs, (std::vector<Uuid>{copy.id}));
    ASSERT_EQ(library.recordings().size(), 1u);

    // A folder that vanished behind our back is still dropped from the list and the projects.
    fs::remove_all(library.folderOf(copy.id).directory);
    library.remove(copy.id);
    EXPECT_TRUE(library.projects()[0].recordingIDs.empty());

    // And it all reads back the same from disk.
    auto& reopened = open();
    EXPECT_TRUE(reopened.recordings().empty());
    EXPECT_TRUE(reopened.projects()[0].recordingIDs.empty());
}

TEST(LibraryLocation, MovesTheLegacyFolderOnlyWhenTheDataRootIsMissing) {
    testing::TempDir dir;
    const char* previous = std::getenv("XDG_DATA_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_DATA_HOME", dir.path().c_str(), 1);

    writeTextFile(dir / "Zant" / "Recordings" / "X" / "meta.json", "{}");
    const auto location = LibraryLocation::standard();
    EXPECT_EQ(location.recordingsRoot, dir / "Orvane" / "Recordings");
    EXPECT_TRUE(fs::exists(dir / "Orvane" / "Recordings" / "X" / "meta.json"));
    EXPECT_FALSE(fs::exists(dir / "Zant"));

    // Both present: the data root wins and the legacy folder is left as it is.
    writeTextFile(dir / "Zant" / "keep.txt", "x");
    LibraryLocation::standard();
    EXPECT_TRUE(fs::exists(dir / "Zant" / "keep.txt"));

    if (previous) {
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
}


TEST_F(RecordingLibraryTest, ProjectsPersistAndAnUnreadableProjectsFileIsKeptBeforeItIsReplaced) {
    writeTextFile(location().projectsFile, "[{\"id\": broken");
    auto& library = open();
    EXPECT_TRUE(library.projects().empty());
    EXPECT_EQ(readTextFile(location().projectsFile), "[{\"id\": broken");  // opening changes nothing

    const auto unnamed = library.createProject(" \n ");
    EXPECT_EQ(unnamed.name, "New Project");
    auto backup = location().projectsFile;
    backup += ".corrupt";
    EXPECT_EQ(readTextFile(backup), "[{\"id\": broken");
    const auto launch = library.createProject("  Launch video ");
    EXPECT_EQ(launch.name, "Launch video");

    library.renameProject(unnamed.id, "Tutorials");
    const auto member = Uuid::random();
    library.addToProject(launch.id, member);
    library.deleteProject(unnamed.id);
    EXPECT_THROW(library.deleteProject(unnamed.id), LibraryError);
    EXPECT_EQ(library.findProject("Launch video").id, launch.id);
    EXPECT_EQ(library.findProject(toLowerAscii(launch.id.string().substr(0, 8))).id, launch.id);
    EXPECT_THROW(library.findProject("Tutorials"), LibraryError);

    // projects.json sits beside the recordings folder and is what a fresh library reads.
    EXPECT_EQ(location().projectsFile.parent_path(), location().recordingsRoot.parent_path());
    ASSERT_EQ(library.projects().size(), 1u);
    const auto kept = library.projects()[0];
    EXPECT_EQ(kept.recordingIDs, std::vector<Uuid>{member});
    auto& reopened = open();
    ASSERT_EQ(reopened.projects().size(), 1u);
    EXPECT_EQ(reopened.projects()[0], kept);
}

TEST_F(RecordingLibraryTest, ThumbnailsAreMadeOnceInTheBackgroundPublishedOnMainAndFailuresRetried) {
    const auto video = sampleVideo("wide.mp4");  // 320 x 180
    ManualExecutor background;
    auto cache = std::make_unique<RecordingThumbnailCache>(executor_, background);
    std::vector<fs::path> published;
    auto subscription = cache->observe([&](const auto& path) { published.push_back(path); });

    EXPECT_EQ(cache->thumbnail(video), nullptr);
    EXPECT_EQ(cache->thumbnail(video), nullptr);  // already loading: not started twice
    EXPECT_EQ(background.pendingCount(), 1u);
    background.runPending();
    EXPECT_TRUE(published.empty());  // not before the main loop runs
    executor_.runPending();
    ASSERT_EQ(published.size(), 1u);
    const auto image = cache->thumbnail(video);
    ASSERT_NE(image, nullptr);
    EXPECT_LE(image->width, RecordingThumbnailCache::kMaxWidth);
    EXPECT_LE(image->height, RecordingThumbnailCache::kMaxHeight);
    EXPECT_EQ(image->width * 9, image->height * 16);
    EXPECT_EQ(background.pendingCount(), 0u);

    // A failure caches nothing, so the next request tries again.
    const auto missing = dir_ / "missing.mp4";
    EXPECT_EQ(cache->thumbnail(missing), nullptr);
    background.runPending();
    executor_.runPending();
    EXPECT_EQ(cache->thumbnail(missing), nullptr);
    EXPECT_EQ(background.pendingCount(), 1u);

    // A cache destroyed while a generation is in flight is never called back.
    background.runPending();
    subscription = {};
    cache.reset();
    executor_.runPending();
}

// A worker that renames while the loop lists would tear the list the studio shows.
using RecordingLibraryDeathTest = LibraryFixture;
TEST_F(RecordingLibraryDeathTest, ASecondThreadStopsADebugBuildButFixedLocationsMayBeReadAnywhere) {
#ifdef NDEBUG
    GTEST_SKIP() << "the ownership check is compiled out of release builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto& library = open();
    const auto recording = library.importVideo(sampleVideo());
    std::thread([&] {
        EXPECT_EQ(library.folderOf(recording.id).directory.parent_path(), library.location().recordingsRoot);
    }).join();
    const auto fromWorker = [&] { std::thread([&] { library.rename(recording.id, "Renamed"); }).join(); };
    EXPECT_DEATH(fromWorker(), "rename \\(.*recording_library.cpp:[0-9]+\\) ran off the thread that owns its object");
    const auto listFromWorker = [&] { std::thread([&] { (void)library.recordings(); }).join(); };
    EXPECT_DEATH(listFromWorker(), "recordings \\(.*recording_library.h:[0-9]+\\) ran off the thread");
    EXPECT_EQ(library.find(recording.id.string()).sourceTitle, recording.sourceTitle);
#endif
}

}  // namespace
}  // namespace orvane
