#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "model/recording_files.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

SystemTime wholeSeconds(SystemTime time) { return std::chrono::floor<std::chrono::seconds>(time); }

// Caps the size of files this process may write, so a write fails even for root, whom
// permissions do not stop. Writes past the cap fail with EFBIG instead of raising SIGXFSZ.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit capped = previous_;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(RecordingFolder, CreateWriteAndReadBackMetaTitleAndTelemetry) {
    testing::TempDir dir;
    const auto root = dir / "deep" / "Recordings";
    const auto now = wholeSeconds(std::chrono::system_clock::now());
    auto [folder, meta] = createRecordingFolder(root, now);

    EXPECT_TRUE(fs::is_directory(folder.directory));
    EXPECT_EQ(folder.directory, root / meta.id.string());
    EXPECT_EQ(meta, makeNewRecordingMeta(meta.id, now));
    EXPECT_FALSE(fs::exists(folder.metaFile()));
    EXPECT_FALSE(readRecordingMeta(folder));

    writeRecordingMeta(folder, meta);
    EXPECT_EQ(readRecordingMeta(folder), meta);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.directory), {}), 1);  // no temporary left

    testing::writeTextFile(folder.metaFile(), "{\"id\":");
    EXPECT_FALSE(readRecordingMeta(folder));

    // A rename is trimmed and a blank one removes the title.
    applyRename(meta, " \t Product tour\n ");
    writeRecordingMeta(folder, meta);
    EXPECT_EQ(readRecordingMeta(folder)->sourceTitle, "Product tour");

    applyRename(meta, "   ");
    writeRecordingMeta(folder, meta);
    EXPECT_EQ(testing::readTextFile(folder.metaFile()).find("sourceTitle"), std::string::npos);
    EXPECT_FALSE(readRecordingMeta(folder)->sourceTitle);

    applyRename(meta, "\n\n");
    EXPECT_FALSE(meta.sourceTitle);

    // Telemetry is read only when the meta says there is some.
    const CursorTelemetry telemetry{{{0, 0.25, 0.75, false}, {16, 0.5, 0.5, true}}, 60};
    testing::writeTextFile(folder.cursorFile(), encodeCursorTelemetry(telemetry));

    meta.hasCursor = false;
    EXPECT_FALSE(readCursorTelemetry(folder, meta));
    meta.hasCursor = true;
    EXPECT_EQ(readCursorTelemetry(folder, meta), telemetry);

    testing::writeTextFile(folder.cursorFile(), R"({"points":[{"t":0}],"sampleHz":60})");
    EXPECT_FALSE(readCursorTelemetry(folder, meta));
    fs::remove(folder.cursorFile());
    EXPECT_FALSE(readCursorTelemetry(folder, meta));
}

TEST(RecordingFolder, ScreenVideoNameFollowsAlpha) {
    const RecordingFolder folder{"/data/Recordings/X"};
    RecordingMeta meta;
    EXPECT_EQ(folder.screenVideoFile(meta), "/data/Recordings/X/screen.mp4");
    meta.recordedWithAlpha = false;
    EXPECT_EQ(screenVideoFileName(meta), "screen.mp4");
    meta.recordedWithAlpha = true;
    EXPECT_EQ(folder.screenVideoFile(meta), "/data/Recordings/X/screen.mov");
}

TEST(RecordingFolder, FailedWriteKeepsThePreviousMeta) {
    testing::TempDir dir;
    auto [folder, meta] = createRecordingFolder(dir.path(), wholeSeconds(std::chrono::system_clock::now()));
    writeRecordingMeta(folder, meta);
    const std::string before = testing::readTextFile(folder.metaFile());

    meta.sourceTitle = std::string(8192, 'x');
    {
        FileSizeCap cap(1024);
        EXPECT_THROW(writeRecordingMeta(folder, meta), std::system_error);
    }
    EXPECT_EQ(testing::readTextFile(folder.metaFile()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.directory), {}), 1);

    fs::remove_all(folder.directory);
    EXPECT_THROW(writeRecordingMeta(folder, meta), std::system_error);
}

}  // namespace
}  // namespace orvane
