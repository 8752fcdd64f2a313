#include <gtest/gtest.h>

#include <fstream>

#include "media/media_probe.h"
#include "media/sample_video.h"
#include "model/time_mapping.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

TEST(MediaProbe, SampleVideoIsWhatItWasAskedToBe) {
    testing::TempDir dir;
    const auto movie = dir / "screen.mp4";
    writeSampleVideo(movie, SampleVideoSpec{});

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

    SampleVideoSpec silent;
    silent.width = 320;
    silent.height = 240;
    silent.seconds = 0.5;
    silent.withAudio = false;
    writeSampleVideo(movie, silent);  // replaces the first one
    const auto second = probeMedia(movie);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->hasAudio);
    EXPECT_EQ(second->videoSize, (Size{320, 240}));
    EXPECT_NEAR(*second->durationSeconds, 0.5, 0.05);
}

TEST(MediaProbe, FilesThatAreNotPlayableMoviesAnswerNothing) {
    testing::TempDir dir;
    EXPECT_FALSE(probeMedia(dir / "missing.mp4"));
    EXPECT_FALSE(playableDuration(dir / "missing.mp4"));
    EXPECT_FALSE(probeMedia(dir.path()));

    testing::writeTextFile(dir / "garbage.mp4", std::string(4096, 'z') + "not a movie at all");
    EXPECT_FALSE(probeMedia(dir / "garbage.mp4"));
    EXPECT_FALSE(playableDuration(dir / "garbage.mp4"));

    testing::writeTextFile(dir / "empty" / "screen.mp4", "");
    EXPECT_FALSE(playableDuration(dir / "empty" / "screen.mp4"));

    // A capture that stopped before its first frame: a well-formed movie with nothing in it.
    SampleVideoSpec nothing;
    nothing.seconds = 0;
    nothing.withAudio = false;
    writeSampleVideo(dir / "zero.mp4", nothing);
    ASSERT_TRUE(fs::exists(dir / "zero.mp4"));
    EXPECT_FALSE(playableDuration(dir / "zero.mp4"));

    // A capture killed mid-write: the movie's index at the end never made it to disk.
    SampleVideoSpec options;
    options.withAudio = false;
    writeSampleVideo(dir / "whole.mp4", options);
    const auto size = fs::file_size(dir / "whole.mp4");
    fs::copy_file(dir / "whole.mp4", dir / "cut.mp4");
    fs::resize_file(dir / "cut.mp4", size / 2);
    EXPECT_FALSE(playableDuration(dir / "cut.mp4"));
}

TEST(SampleVideo, BadRequestsThrowAndLeaveNoFile) {
    testing::TempDir dir;
    SampleVideoSpec odd;
    odd.width = 641;
    EXPECT_THROW(writeSampleVideo(dir / "odd.mp4", odd), std::runtime_error);
    SampleVideoSpec rotated;
    rotated.rotationDegrees = 45;
    EXPECT_THROW(writeSampleVideo(dir / "rotated.mp4", rotated), std::runtime_error);
    EXPECT_THROW(writeSampleVideo(dir / "no-such-folder" / "x.mp4", SampleVideoSpec{}), std::runtime_error);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 0);
}

// The editor's duration cache reads real files through libavformat: a movie's duration is read once,
// a file that is not there yet is asked again until it is.
TEST(MediaProbe, DurationCacheReadsEachMovieOnceAndRetriesMissingOnes) {
    testing::TempDir dir;
    const auto movie = dir / "screen.mp4";
    int reads = 0;
    SourceDurationCache cache([&](const fs::path& file) {
        ++reads;
        return playableDuration(file);
    });
    EXPECT_EQ(cache.duration(movie), std::nullopt);
    writeSampleVideo(movie, SampleVideoSpec{});
    ASSERT_TRUE(cache.duration(movie));
    EXPECT_NEAR(*cache.duration(movie), 2.0, 0.1);
    EXPECT_EQ(reads, 2);
}

}  // namespace
}  // namespace orvane
