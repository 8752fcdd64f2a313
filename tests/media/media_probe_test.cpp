#include <gtest/gtest.h>

#include "media/media_probe.h"
#include "media/sample_video.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

TEST(MediaProbe, SampleVideoIsWhatItWasAskedToBe) {
    testing::TempDir dir;
    const auto movie = dir / "screen.mp4";
    writeSampleVideo(movie, SampleVideoLayout{});

    const auto info = probeMedia(movie);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{640, 360}));
    EXPECT_EQ(info->frameRate, 30.0);
    ASSERT_TRUE(info->durationSeconds);
    EXPECT_NEAR(*info->durationSeconds, 2.0, 0.1);
    EXPECT_EQ(playableDuration(movie), info->durationSeconds);
    // Only the finished movie is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);

    // Replaces the first one.
    writeSampleVideo(movie, {.width = 320, .height = 240, .seconds = 0.5, .withAudio = false});
    const auto second = probeMedia(movie);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->hasAudio);
    EXPECT_EQ(second->videoSize, (Size{320, 240}));
    EXPECT_NEAR(*second->durationSeconds, 0.5, 0.05);
}

TEST(MediaProbe, FilesThatAreNotPlayableMoviesAnswerNothing) {
    testing::TempDir dir;
    EXPECT_EQ(probeMedia(dir / "missing.mp4").failure(), ProbeFailure::missing);
    EXPECT_FALSE(playableDuration(dir / "missing.mp4"));
    EXPECT_EQ(probeMedia(dir.path()).failure(), ProbeFailure::notMedia);

    testing::writeTextFile(dir / "garbage.mp4", std::string(4096, 'z') + "not a movie at all");
    EXPECT_EQ(probeMedia(dir / "garbage.mp4").failure(), ProbeFailure::notMedia);
    EXPECT_FALSE(playableDuration(dir / "garbage.mp4"));

    testing::writeTextFile(dir / "empty" / "screen.mp4", "");
    EXPECT_FALSE(playableDuration(dir / "empty" / "screen.mp4"));

    // A capture that stopped before its first frame: a well-formed movie with nothing in it.
    writeSampleVideo(dir / "zero.mp4", {.seconds = 0, .withAudio = false});
    ASSERT_TRUE(fs::exists(dir / "zero.mp4"));
    EXPECT_FALSE(playableDuration(dir / "zero.mp4"));

    // A capture killed mid-write: the movie's index at the end never made it to disk.
    writeSampleVideo(dir / "whole.mp4", {.withAudio = false});
    const auto size = fs::file_size(dir / "whole.mp4");
    fs::copy_file(dir / "whole.mp4", dir / "cut.mp4");
    fs::resize_file(dir / "cut.mp4", size / 2);
    EXPECT_FALSE(playableDuration(dir / "cut.mp4"));
}

TEST(SampleVideo, BadRequestsThrowAndLeaveNoFile) {
    testing::TempDir dir;
    EXPECT_THROW(writeSampleVideo(dir / "odd.mp4", {.width = 641}), std::runtime_error);
    EXPECT_THROW(writeSampleVideo(dir / "rotated.mp4", {.rotationDegrees = 45}), std::runtime_error);
    EXPECT_THROW(writeSampleVideo(dir / "no-such-folder" / "x.mp4", SampleVideoLayout{}), std::runtime_error);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 0);
}

}  // namespace
}  // namespace orvane
