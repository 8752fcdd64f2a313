#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "export/frame_sources.h"
#include "export/source_frame_decoder.h"
#include "indexed_movie.h"
#include "media/sample_video.h"
#include "media/video_frame.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::frameIndexOf;
using testing::TempDir;

// 45 frames at 30 fps: 1.5 s, frame i shows from i/30.
class SourceFrameDecoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempDir;
        testing::writeIndexedMovie(*folder / "screen.mp4", 320, 180, 30, 45);
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }
    static std::filesystem::path movie() { return *folder / "screen.mp4"; }

    static int indexAt(SequentialSourceFrameDecoder& decoder, double t) {
        const auto frame = decoder.frameAt(t);
        if (!frame) return -1;
        return frameIndexOf(frame->image).value_or(-2);
    }

    static TempDir* folder;
};

TempDir* SourceFrameDecoderTest::folder = nullptr;

TEST_F(SourceFrameDecoderTest, ForwardReadingShowsTheFrameUnderEachOutputTimeFromAnyStart) {
    // A 60 fps export of 30 fps footage shows each source frame twice.
    SequentialSourceFrameDecoder decoder(movie(), 1.0 / 60, DecodeOptions{160, 160, 1});
    for (int k = 0; k < 90; ++k) {
        ASSERT_EQ(indexAt(decoder, k / 60.0), k / 2) << "output frame " << k;
    }
    const auto last = decoder.frameAt(89 / 60.0);
    EXPECT_EQ(last->image.width, 160);  // shrunk into the box, aspect kept
    EXPECT_EQ(last->image.height, 90);
    EXPECT_DOUBLE_EQ(*decoder.currentTime(), last->time);
    // Past the end the last frame stays.
    EXPECT_EQ(indexAt(decoder, 5.0), 44);
    EXPECT_TRUE(decoder.isFinished());
    EXPECT_EQ(indexAt(decoder, 9.0), 44);

    // It can start in the middle and skip frames.
    SequentialSourceFrameDecoder middle(movie(), 1.0 / 30, DecodeOptions{});
    EXPECT_EQ(indexAt(middle, 1.0), 30);
    EXPECT_EQ(middle.frameAt(1.0)->image.width, 320);  // never enlarged, never shrunk without need
    // A time a hair before a frame's start still shows it; half a frame early does not.
    EXPECT_EQ(indexAt(middle, 33 / 30.0 - 1e-9), 33);
    EXPECT_EQ(indexAt(middle, 36 / 30.0 - 0.6 / 30), 35);
    EXPECT_FALSE(middle.isFinished());

    // Starting one frame before a key frame (frame 60) shows that frame, not the key frame.
    testing::writeIndexedMovie(*folder / "long.mp4", 320, 180, 30, 70);
    SequentialSourceFrameDecoder beforeKey(*folder / "long.mp4", 1.0 / 30, DecodeOptions{});
    EXPECT_EQ(indexAt(beforeKey, 59 / 30.0), 59);
    EXPECT_EQ(indexAt(beforeKey, 60 / 30.0), 60);
}

TEST_F(SourceFrameDecoderTest, RandomAccessAnswersAnyOrderAndClampsPastTheEnd) {
    RandomAccessFrameSource generator(movie(), 1.0 / 30, DecodeOptions{});
    const auto at = [&](double t) { return frameIndexOf(generator.frameAt(t)->image).value_or(-1); };
    EXPECT_EQ(at(1.0), 30);
    EXPECT_EQ(at(0.1), 3);
    EXPECT_EQ(at(0.0), 0);
    EXPECT_EQ(at(0.999), 29);
    // The last frame that still lies one frame before the end.
    EXPECT_EQ(at(10.0), 44);
    EXPECT_EQ(at(1.5), 44);

    EXPECT_NEAR(randomAccessTime(10, 1.5, 1.0 / 30), 1.5 - 1.0 / 30, 1e-12);
    EXPECT_DOUBLE_EQ(randomAccessTime(0.2, 1.5, 1.0 / 30), 0.2);
    EXPECT_DOUBLE_EQ(randomAccessTime(3, 0, 1.0 / 30), 3);  // unknown length: as asked
    EXPECT_DOUBLE_EQ(randomAccessTime(-1, 1.5, 1.0 / 30), 0);
    EXPECT_DOUBLE_EQ(randomAccessTime(1, 0.0005, 0), 0);  // shorter than a frame
}

TEST_F(SourceFrameDecoderTest, ClipsMapCompositionTimeToTheirOwnFileTimes) {
    SceneRenderSnapshot snapshot;
    snapshot.clipBaseDirectory = folder->path();
    // One at [0, 0.5], a gap, the other at [0.75, 1].
    snapshot.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0.5, 1.0, 0},
                                    Clip{Uuid::random(), "screen.mp4", 0.25, 0.5, 0.25}};
    ClipFrameProvider provider(snapshot, 1.0 / 30, DecodeOptions{});

    const auto indexAtComposition = [&](double c) -> int {
        const auto frame = provider.frameAt(c);
        if (!frame) return -1;
        return frameIndexOf(frame->image->image).value_or(-2);
    };
    EXPECT_EQ(indexAtComposition(0.0), 15);
    EXPECT_EQ(indexAtComposition(0.5), 30);    // a boundary belongs to the earlier clip
    EXPECT_EQ(indexAtComposition(0.625), -1);  // head gap: nothing drawn
    EXPECT_EQ(indexAtComposition(0.75), 8);    // source 0.25 is 7.5 frames in: the nearer frame
    EXPECT_EQ(indexAtComposition(0.875), 11);
    ASSERT_TRUE(provider.frameAt(0.875));
    EXPECT_DOUBLE_EQ(provider.frameAt(0.875)->sourceTime, 0.375);
    EXPECT_EQ(indexAtComposition(5.0), -1);  // after the last clip
}

TEST_F(SourceFrameDecoderTest, UnreadableFilesNameThemselvesAndRotationIsAppliedAsForThumbnails) {
    SequentialSourceFrameDecoder missing(*folder / "gone.mp4", 1.0 / 30, DecodeOptions{});
    try {
        missing.frameAt(0);
        FAIL() << "a missing file must throw";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("gone.mp4"), std::string::npos) << error.what();
    }
    testing::writeTextFile(*folder / "notes.mp4", "not a movie");
    RandomAccessFrameSource garbage(*folder / "notes.mp4", 1.0 / 30, DecodeOptions{});
    EXPECT_THROW(garbage.frameAt(0), std::runtime_error);

    // A phone-style movie stored landscape and turned upright on playback.
    SampleVideoLayout portrait{
        .width = 320, .height = 180, .fps = 30, .seconds = 0.2, .withAudio = false, .rotationDegrees = 90};
    writeSampleVideo(*folder / "portrait.mp4", portrait);
    EXPECT_EQ(readVideoFileInfo(*folder / "portrait.mp4").displaySize, (Size{180, 320}));
    SequentialSourceFrameDecoder upright(*folder / "portrait.mp4", 1.0 / 30, DecodeOptions{90, 1000, 1});
    const auto frame = upright.frameAt(0);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image.width, 90);
    EXPECT_EQ(frame->image.height, 160);

    // A thumbnail of the same frame at the same size is the export's picture, pixel for pixel.
    const auto thumbnail = extractVideoFrame(*folder / "portrait.mp4", 0, 90, 1000);
    ASSERT_TRUE(thumbnail);
    ASSERT_EQ(thumbnail->width, frame->image.width);
    ASSERT_EQ(thumbnail->height, frame->image.height);
    int differingRows = 0;
    for (int y = 0; y < thumbnail->height; ++y) {
        differingRows += std::memcmp(thumbnail->pixels.data() + static_cast<std::ptrdiff_t>(y) * thumbnail->stride,
                                     frame->image.pixels.data() + static_cast<std::ptrdiff_t>(y) * frame->image.stride,
                                     static_cast<std::size_t>(thumbnail->width) * 4) != 0;
    }
    EXPECT_EQ(differingRows, 0);
}

TEST_F(SourceFrameDecoderTest, OverlaysReuseStillsAndLoopAnimations) {
    ASSERT_TRUE(writePng(RgbaImage{8, 4, 32, std::vector<std::uint8_t>(32 * 4, 0xff)}, *folder / "logo.png"));
    VideoOverlayClip clip;
    clip.mediaKind = VideoOverlayClip::MediaKind::logo;
    clip.path = *folder / "logo.png";
    OverlayFrameSource still(clip, 1.0 / 30, DecodeOptions{});
    const auto first = still.frameAt(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->image.width, 8);
    EXPECT_EQ(still.frameAt(12.5), first);  // decoded once

    clip.path = *folder / "missing.png";
    OverlayFrameSource missing(clip, 1.0 / 30, DecodeOptions{});
    EXPECT_EQ(missing.frameAt(0), nullptr);  // not drawn, not an error

    clip.mediaKind = VideoOverlayClip::MediaKind::video;
    clip.path = movie();
    OverlayFrameSource moving(clip, 1.0 / 30, DecodeOptions{});
    EXPECT_EQ(frameIndexOf(moving.frameAt(0.5)->image), 15);
    EXPECT_EQ(frameIndexOf(moving.frameAt(0.1)->image), 3);  // backwards: found by seeking

    // An animated GIF: red for 0.2 s, then blue for 0.3 s, round and round.
    testing::writeFlatGif(*folder / "blink.gif", 16, 8, {{0xff0000, 20}, {0x0000ff, 30}});
    clip.mediaKind = VideoOverlayClip::MediaKind::image;
    clip.path = *folder / "blink.gif";
    OverlayFrameSource animated(clip, 1.0 / 30, DecodeOptions{});
    const auto colourAt = [&](double t) {
        std::uint32_t pixel;
        std::memcpy(&pixel, animated.frameAt(t)->image.pixels.data(), 4);
        return (pixel >> 16 & 0xff) > 200 ? 'r' : ((pixel & 0xff) > 200 ? 'b' : '?');
    };
    EXPECT_EQ(colourAt(0.0), 'r');
    EXPECT_EQ(colourAt(0.25), 'b');
    EXPECT_EQ(colourAt(0.45), 'b');  // the last frame's own delay, not a guess
    EXPECT_EQ(colourAt(0.55), 'r');  // looped
    EXPECT_EQ(animated.frameAt(0.1)->image.width, 16);

    const std::vector<double> ends{0.1, 0.3, 0.6};
    EXPECT_EQ(animationFrameIndex(ends, 0), 0u);
    EXPECT_EQ(animationFrameIndex(ends, 0.1), 1u);
    EXPECT_EQ(animationFrameIndex(ends, 0.59), 2u);
    EXPECT_EQ(animationFrameIndex(ends, 0.6), 0u);  // loops
    EXPECT_EQ(animationFrameIndex(ends, 0.75), 1u);
    EXPECT_EQ(animationFrameIndex(ends, -1), 0u);
    EXPECT_EQ(animationFrameIndex({}, 3), 0u);
}

}  // namespace
}  // namespace orvane
