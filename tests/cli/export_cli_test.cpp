#include <signal.h>
#include <sys/stat.h>

#include <gmock/gmock.h>

#include "cli_fixture.h"
#include "media/media_probe.h"

namespace orvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ExportCliTest : public CliTest {
protected:
    // Imports a sample with a tone and answers its id.
    std::string importSample(double seconds, int width = 320, int height = 240) {
        const auto path = home_ / "rec.mp4";
        SampleVideoLayout options;
        options.width = width;
        options.height = height;
        options.seconds = seconds;
        options.withAudio = true;
        writeSampleVideo(path, options);
        const auto imported = runJson({"import", path.string(), "--json"});
        return imported["id"].get<std::string>();
    }

    // Starts an export, waits until its stderr shows `awaited`, then sends `signal`.
    testing::CliResult interruptedExport(const std::vector<std::string>& arguments, int signal,
                                         const std::string& awaited = "Rendering video",
                                         const std::vector<std::string>& environment = {}) {
        testing::OrvaneProcess orvane(home_.path(), arguments, environment);
        EXPECT_TRUE(orvane.waitForError(awaited));
        orvane.signal(signal);
        return orvane.wait();
    }

    static std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(ExportCliTest, DryRunPrintsTheProfileAndWritesNothing) {
    const auto id = importSample(1);
    const auto out = (home_ / "out.mp4").string();
    // A small recording is not blown up to the preset's frame.
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json"}),
              Json::parse(R"({"width":320,"height":240,"fps":60,"bitrate":850000,"quality":"automatic"})"));
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json", "--preset", "vertical", "--quality", "high",
                       "--fps", "24", "--max-long-edge", "1280"}),
              Json::parse(R"({"width":720,"height":1280,"fps":24,"bitrate":4096000,"quality":"high"})"));
    // One second at a 0.01 MB target: 10000 x 8 x 0.78 is below the floor.
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json", "--target-mb", "0.01"})["bitrate"], 180000);
    const auto gif = runJson({"export", id, "--out", (home_ / "a.GIF").string(), "--dry-run", "--json"});
    EXPECT_EQ(gif["fps"], 24);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExportCliTest, BadRequestsFailBeforeRendering) {
    const auto id = importSample(1);
    auto result = run({"export", id, "--out", (home_ / "a.gif").string(), "--preset", "web1080"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("needs --preset gif"));
    result = run({"export", id, "--out", (home_ / "a.mp4").string(), "--fps", "25"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("--fps takes auto, 24, 30 or 60"));
    result = run({"export", id, "--out", (home_ / "missing" / "a.mp4").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("does not exist"));
    EXPECT_EQ(run({"export", "FFFFFFFF", "--out", (home_ / "a.mp4").string()}).exitCode, 3);
}

TEST_F(ExportCliTest, ExportsTheEditWithItsSoundAndAGif) {
    const auto id = importSample(1);
    const auto out = home_ / "edit.mp4";
    const auto exported = runJson({"export", id, "--out", out.string(), "--fps", "24", "--json"});
    EXPECT_EQ(exported["file"], out.string());
    EXPECT_THAT(exported["log"].get<std::string>(), HasSubstr("MP4 exported with mixed audio"));
    const auto info = probeMedia(out);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{320, 240}));
    EXPECT_NEAR(info->durationSeconds.value_or(0), 1.0, 0.1);
    // The edit travels beside the video, for another copy of the program to rebuild it.
    const auto record = nlohmann::json::parse(testing::readTextFile(home_ / "edit.zant.json"));
    EXPECT_EQ(record["exportKind"], "web1080");
    EXPECT_EQ(record["sourceVideo"], "screen.mp4");
    EXPECT_DOUBLE_EQ(record["trimEnd"].get<double>(), 1.0);

    const auto gif = home_ / "edit.gif";
    const auto result = run({"export", id, "--out", gif.string(), "--max-long-edge", "160"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(probeMedia(gif)->videoSize, (Size{160, 120}));
}

TEST_F(ExportCliTest, OutputsGoOnlyToRegularFilesOutsideTheLibrary) {
    const auto id = importSample(1);
    const auto folder = home_ / "data" / "Orvane" / "Recordings" / id;
    const auto screen = testing::readTextFile(folder / "screen.mp4");
    const auto pipe = home_ / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> refused = {
        {"export", id, "--out", "/dev/null"},
        {"export", id, "--out", (folder / "screen.mp4").string()},
        {"render-frame", id, "--time", "0.5", "--out", (folder / "meta.json").string()},
        {"render-frame", id, "--time", "0.5", "--out", pipe.string()},
        {"thumbnail", id, "--out", (folder / ".." / "new.png").string()},
    };
    for (const auto& command : refused) {
        const auto result = run(command);
        EXPECT_NE(result.exitCode, 0) << command.back();
        EXPECT_THAT(result.err,
                    ::testing::AnyOf(HasSubstr("is not a regular file"), HasSubstr("inside Orvane's library")))
            << result.err;
    }
    EXPECT_EQ(testing::readTextFile(folder / "screen.mp4"), screen);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(run({"thumbnail", id, "--out", (home_ / "thumb.png").string()}).exitCode, 0);
}

TEST_F(ExportCliTest, InterruptCancelsAndLeavesNothingBehind) {
    const auto id = importSample(8, 640, 360);
    const auto out = home_ / "long.mp4";
    testing::writeTextFile(out, "earlier export");
    const auto result = interruptedExport({"export", id, "--out", out.string(), "--preset", "vertical"}, SIGINT);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.err, HasSubstr("Export cancelled"));
    EXPECT_EQ(testing::readTextFile(out), "earlier export");
    for (const auto& entry : fs::directory_iterator(home_.path())) {
        EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr(".partial")));
    }
}

// A killed process cleans nothing up itself: what it leaves is found and removed by the next export,
// and the destination never sees a piece of it.
TEST_F(ExportCliTest, AKilledExportLeavesNothingAndTheNextOneSucceeds) {
    const auto id = importSample(8, 640, 360);
    const auto temporary = home_ / "tmp";
    const auto folder = home_ / "exports";
    fs::create_directories(temporary);
    fs::create_directories(folder);
    const std::vector<std::string> environment{"TMPDIR=" + temporary.string()};
    const std::vector<std::string> arguments{"export", id, "--out", (folder / "clip.mp4").string(), "--fps", "24",
                                             "--max-long-edge", "640"};

    // Killed once frames are being written.
    const auto killed = interruptedExport(arguments, SIGKILL, "remaining", environment);
    ASSERT_EQ(killed.exitCode, 128 + SIGKILL) << killed.err;
    EXPECT_THAT(namesIn(folder), IsEmpty());
    EXPECT_THAT(namesIn(temporary), ::testing::Not(IsEmpty()));  // what the sweep has to find

    const auto again = runOrvane(home_.path(), arguments, environment);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    const auto info = probeMedia(folder / "clip.mp4");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->videoSize, (Size{640, 360}));
    EXPECT_NEAR(info->durationSeconds.value_or(0), 8.0, 0.2);
    EXPECT_THAT(namesIn(folder), ElementsAre("clip.mp4", "clip.zant.json"));
    EXPECT_THAT(namesIn(temporary), IsEmpty());
}

}  // namespace
}  // namespace orvane
