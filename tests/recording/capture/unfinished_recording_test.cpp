#include <gtest/gtest.h>

#include <thread>

#include "media/media_probe.h"
#include "recording/library_fixture.h"
#include "recording/screen_movie_writer.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::readTextFile;
using testing::writeTextFile;

// What the recorder leaves when its process is killed: meta.json as written at the start and a
// fragmented movie that stops wherever the last fragment ended.
constexpr const char* kMetaAtStart =
    R"({"id":"$ID","createdAt":"2026-03-01T10:00:00Z","displayWidth":64,"displayHeight":48,"fps":30,)"
    R"("durationMs":0,"hasSystemAudio":false,"hasWebcam":false,"hasCursor":false,"hasMicrophone":false,)"
    R"("sourceKind":"window","sourceTitle":"Terminal","capturedSystemCursor":true})";

class UnfinishedRecordingTest : public testing::LibraryFixture {
protected:
    // About two seconds of a cut-off capture, with system audio.
    void writeCutOffMovie(const fs::path& file) {
        MovieWriterSettings settings{file, 64, 48, 30, true, 128};
        ScreenMovieWriter writer(settings);
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<float> audio(4800 * 2, 0.1f);
        for (int i = 0; i < 75; ++i) {
            ScreenFrame frame;
            frame.width = 64;
            frame.height = 48;
            frame.stride = 256;
            frame.bgra.assign(256 * 48, std::uint8_t(i * 3));
            frame.time = t0 + i * 33ms;
            writer.appendVideo(frame);
            if (i % 3 == 0) writer.appendAudio(AudioSamples{audio, 4800, 2, 48000, t0 + i * 33ms});
            while (writer.writtenFrames() < std::uint64_t(i) + 1) std::this_thread::sleep_for(1ms);
        }
        writer.abandon();
    }
};

TEST_F(UnfinishedRecordingTest, PlayableCutOffCapturesStayListedWithRepairedMetadata) {
    const auto cutOff = writeRecordingFolder(kMetaAtStart);
    writeCutOffMovie(cutOff / "screen.mp4");
    writeTextFile(cutOff / "mic.m4a", "");  // the microphone never wrote a frame
    const auto expected = playableDuration(cutOff / "screen.mp4");
    ASSERT_TRUE(expected);

    // No meta.json at all, and one that was damaged: both get one from the files.
    const auto id = Uuid::random();
    const auto noMeta = location().recordingsRoot / id.string();
    fs::create_directories(noMeta);
    fs::copy_file(cutOff / "screen.mp4", noMeta / "screen.mp4");
    const auto damaged = writeRecordingFolder("{\"id\":");
    fs::copy_file(sampleVideo(), damaged / "screen.mp4");

    // A finished recording is left exactly as it is, even when its numbers differ from the file's.
    std::string finishedMeta = kMetaAtStart;
    finishedMeta.replace(finishedMeta.find("\"durationMs\":0"), 14, "\"durationMs\":1234");
    const auto finished = writeRecordingFolder(finishedMeta);
    fs::copy_file(sampleVideo("finished.mp4"), finished / "screen.mp4");
    const auto finishedText = readTextFile(finished / "meta.json");

    // Repaired recordings are not announced as recovered (the unplayable ones are; RecordingLibraryTest).
    auto& library = open();
    EXPECT_EQ(library.recordings().size(), 4u);
    EXPECT_TRUE(toasts_.toasts().empty());

    const auto& repaired = library.find(cutOff.filename().string());
    EXPECT_EQ(repaired.durationMs, std::int64_t(*expected * 1000));
    EXPECT_GT(repaired.durationMs, 900);
    EXPECT_TRUE(repaired.hasSystemAudio);
    EXPECT_FALSE(repaired.hasMicrophone || repaired.hasCursor || repaired.hasWebcam);
    EXPECT_EQ(repaired.sourceTitle, "Terminal");  // what was known at the start is kept
    EXPECT_EQ(repaired.capturedSystemCursor, true);

    const auto& rebuilt = library.find(id.string());
    EXPECT_EQ(rebuilt.displayWidth, 64);
    EXPECT_EQ(rebuilt.displayHeight, 48);
    EXPECT_GT(rebuilt.durationMs, 900);
    // Dated when the capture began: the movie's last write less its length.
    const auto now = std::chrono::system_clock::now();
    EXPECT_LT(rebuilt.createdAt, now - 900ms);
    EXPECT_GT(rebuilt.createdAt, now - 10min);

    EXPECT_EQ(library.find(damaged.filename().string()).displayWidth, 320);
    EXPECT_EQ(readTextFile(damaged / "meta.json.corrupt"), "{\"id\":");
    EXPECT_EQ(readTextFile(finished / "meta.json"), finishedText);

    // The next start finds nothing left to do.
    open();
    EXPECT_TRUE(toasts_.toasts().empty());
    EXPECT_EQ(library_->recordings().size(), 4u);
}

}  // namespace
}  // namespace orvane
