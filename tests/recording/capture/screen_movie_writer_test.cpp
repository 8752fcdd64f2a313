#include <gtest/gtest.h>

#include <thread>

#include "media/ffmpeg_handles.h"
#include "media/media_probe.h"
#include "recording/screen_movie_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

ScreenFrame frameAt(Time time, int width, int height, std::uint8_t shade) {
    ScreenFrame frame;
    frame.width = width;
    frame.height = height;
    frame.stride = width * 4;
    frame.bgra.assign(std::size_t(frame.stride) * std::size_t(height), shade);
    frame.time = time;
    return frame;
}

std::vector<float> tone(int frames) { return std::vector<float>(std::size_t(frames) * 2, 0.25f); }

// Where one kind of stream ends in the file, from its packets: the last packet's start, plus its
// length when `withLastDuration`.
double streamSeconds(const fs::path& file, AVMediaType type, bool withLastDuration) {
    auto input = ffmpeg::openInput(file.string());
    if (!input) return -1;
    const int index = av_find_best_stream(input.get(), type, -1, -1, nullptr, 0);
    if (index < 0) return -1;
    ffmpeg::Packet packet(av_packet_alloc());
    std::int64_t end = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) end = std::max(end, packet->pts + (withLastDuration ? packet->duration : 0));
        av_packet_unref(packet.get());
    }
    return double(end) * av_q2d(input->streams[index]->time_base);
}

TEST(ScreenMovieWriterTest, FirstSampleStartsTheClockAndEarlierAudioIsLeftOut) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mp4", 64, 48, 30, true, 32};
    ScreenMovieWriter writer(settings);
    const Time t0 = std::chrono::steady_clock::now();

    // Audio arrives before any screen frame and starts the movie; audio stamped before it never goes in.
    auto samples = tone(48000);
    writer.appendAudio(AudioSamples{samples, 48000, 2, 48000, t0});
    auto early = tone(96000);
    writer.appendAudio(AudioSamples{early, 96000, 2, 48000, t0 - 3s});
    ASSERT_EQ(writer.firstSampleTime(), t0);
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(writer.appendVideo(frameAt(t0 + i * 33ms, 64, 48, std::uint8_t(i * 10))));
    // A mono 44.1 kHz buffer is converted, not refused.
    std::vector<float> mono(44100 / 2, 0.1f);
    writer.appendAudio(AudioSamples{mono, 44100 / 2, 1, 44100, t0 + 1s});
    // The last frame is 0.5 s old at the stop: it is repeated at the stop time.
    writer.finishInputs(t0 + 14 * 33ms + 500ms);
    EXPECT_FALSE(writer.appendVideo(frameAt(t0 + 2s, 64, 48, 0)));
    writer.finish();

    const auto info = probeMedia(settings.file);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo && info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{64, 48}));
    EXPECT_NEAR(streamSeconds(settings.file, AVMEDIA_TYPE_AUDIO, true), 1.5, 0.05);
    // The muxer shifts both tracks by the AAC encoder's priming (1024 samples, 21 ms).
    EXPECT_NEAR(streamSeconds(settings.file, AVMEDIA_TYPE_VIDEO, false), 14 * 0.033 + 0.5, 0.03);
    EXPECT_EQ(writer.writtenFrames(), 16u);
}

TEST(ScreenMovieWriterTest, AFullQueueDropsFramesInsteadOfWaiting) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mp4", 640, 360, 60, false, 2};
    ScreenMovieWriter writer(settings);
    const Time t0 = std::chrono::steady_clock::now();
    int accepted = 0;
    for (int i = 0; i < 40; ++i) accepted += writer.appendVideo(frameAt(t0 + i * 16ms, 640, 360, std::uint8_t(i)));
    writer.finishInputs(t0 + 40 * 16ms);
    writer.finish();
    EXPECT_GT(writer.droppedFrames(), 0u);
    EXPECT_EQ(std::uint64_t(accepted) + writer.droppedFrames(), 40u);
    EXPECT_GE(writer.writtenFrames(), std::uint64_t(accepted));
    EXPECT_TRUE(playableDuration(settings.file));
}

TEST(ScreenMovieWriterTest, AnAbandonedMovieStillPlaysUpToItsLastFragmentAndBadSizesAreRefused) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mp4", 64, 48, 30, false};
    {
        ScreenMovieWriter writer(settings);
        const Time t0 = std::chrono::steady_clock::now();
        // Three seconds of frames, each given to the encoder before the next, as a paced capture would.
        for (int i = 0; i < 90; ++i) {
            ASSERT_TRUE(writer.appendVideo(frameAt(t0 + i * 33ms, 64, 48, std::uint8_t(i))));
            while (writer.writtenFrames() < std::uint64_t(i) + 1) std::this_thread::sleep_for(1ms);
        }
        writer.abandon();
    }
    const auto duration = playableDuration(settings.file);
    ASSERT_TRUE(duration);
    EXPECT_GT(*duration, 0.9);

    EXPECT_THROW(ScreenMovieWriter(MovieWriterSettings{dir / "odd.mp4", 63, 48, 30, false}), MovieWriterError);
    EXPECT_THROW(ScreenMovieWriter(MovieWriterSettings{dir / "missing" / "x.mp4", 64, 48, 30, false}), MovieWriterError);
}

}  // namespace
}  // namespace orvane
