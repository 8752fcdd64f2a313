#include <gtest/gtest.h>

#include <thread>

#include "media/ffmpeg_handles.h"
#include "media/media_probe.h"
#include "media/video_frame.h"
#include "recording/alpha_probe_memo.h"
#include "recording/library_fixture.h"
#include "recording/screen_movie_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;
using testing::readTextFile;
using testing::writeTextFile;

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

TEST(ScreenMovieWriterTest, FirstSampleStartsTheClockEarlierAudioIsLeftOutAndBadSettingsAreRefused) {
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
    // A frame grabbed before the movie's first moment is left out, and is no lost frame.
    EXPECT_FALSE(writer.appendVideo(frameAt(t0 - 10ms, 64, 48, 0)));
    // A frame smaller than the movie would be read past its end.
    EXPECT_FALSE(writer.appendVideo(frameAt(t0, 32, 48, 0)));
    for (int i = 0; i < 15; ++i) EXPECT_TRUE(writer.appendVideo(frameAt(t0 + i * 33ms, 64, 48, std::uint8_t(i * 10))));
    // A mono 44.1 kHz buffer is converted, not refused.
    std::vector<float> mono(44100 / 2, 0.1f);
    writer.appendAudio(AudioSamples{mono, 44100 / 2, 1, 44100, t0 + 1s});
    // The last frame is 0.5 s old at the stop: it is repeated at the stop time.
    writer.finishInputs(t0 + 14 * 33ms + 500ms);
    // Nor is one grabbed after the stop.
    EXPECT_FALSE(writer.appendVideo(frameAt(t0 + 2s, 64, 48, 0)));
    writer.finish();
    EXPECT_EQ(writer.droppedFrames(), 0u);

    const auto info = probeMedia(settings.file);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo && info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{64, 48}));
    EXPECT_NEAR(streamSeconds(settings.file, AVMEDIA_TYPE_AUDIO, true), 1.5, 0.05);
    // The muxer shifts both tracks by the AAC encoder's priming (1024 samples, 21 ms).
    EXPECT_NEAR(streamSeconds(settings.file, AVMEDIA_TYPE_VIDEO, false), 14 * 0.033 + 0.5, 0.03);
    EXPECT_EQ(writer.writtenFrames(), 16u);

    EXPECT_THROW(ScreenMovieWriter(MovieWriterSettings{dir / "odd.mp4", 63, 48, 30, false}), MovieWriterError);
    EXPECT_THROW(ScreenMovieWriter(MovieWriterSettings{dir / "missing" / "x.mp4", 64, 48, 30, false}), MovieWriterError);
}

// The movie is cut into fragments of at most half a second, each written as it closes, with a key
// frame at least every second, even when frames come only four times a second (a still screen) and
// sound arrives in between: every picture keeps its time, however the cuts fall.
TEST(ScreenMovieWriterTest, ShortFragmentsKeepEachPictureItsTime) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mp4", 64, 48, 60, true, 32};
    ScreenMovieWriter writer(settings);
    const Time t0 = std::chrono::steady_clock::now();
    std::vector<double> frameTimes;
    for (int step = 0; step < 60; ++step) {
        // A picture every 0.25 s, as the capture sends on a still screen; 50 ms of sound every 50 ms.
        if (step % 5 == 0) {
            ASSERT_TRUE(writer.appendVideo(frameAt(t0 + step * 50ms, 64, 48, std::uint8_t(step))));
            frameTimes.push_back(step * 0.05);
        }
        auto chunk = tone(2400);
        writer.appendAudio(AudioSamples{chunk, 2400, 2, 48000, t0 + step * 50ms});
    }
    writer.finishInputs(t0 + 3s);
    frameTimes.push_back(3.0);
    writer.finish();

    auto input = ffmpeg::openInput(settings.file.string());
    ASSERT_TRUE(input);
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(video, 0);
    std::vector<double> pictures;
    std::vector<double> keys;
    ffmpeg::Packet packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video) {
            const double at = double(packet->pts) * av_q2d(input->streams[video]->time_base);
            pictures.push_back(at);
            if (packet->flags & AV_PKT_FLAG_KEY) keys.push_back(at);
        }
        av_packet_unref(packet.get());
    }
    ASSERT_EQ(pictures.size(), frameTimes.size());
    // The muxer shifts everything by the sound encoder's priming but starts the first picture at 0
    // (a fragmented movie has no edit list to say otherwise); from the second on, each is where it was.
    EXPECT_EQ(pictures[0], 0.0);
    for (std::size_t i = 2; i < pictures.size(); ++i) {
        EXPECT_NEAR(pictures[i] - pictures[1], frameTimes[i] - frameTimes[1], 0.002) << i;
    }
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front(), pictures.front());
    for (std::size_t i = 1; i < keys.size(); ++i) EXPECT_LE(keys[i] - keys[i - 1], 1.0 + 1e-6) << i;
    EXPECT_GE(pictures.back() - keys.back(), 0.0);
    EXPECT_LE(pictures.back() - keys.back(), 1.0 + 1e-6);

    // Fragments of at most half a second of pictures: at least six over three seconds.
    const auto bytes = readTextFile(settings.file);
    std::size_t fragments = 0;
    for (auto at = bytes.find("moof"); at != std::string::npos; at = bytes.find("moof", at + 4)) ++fragments;
    EXPECT_GE(fragments, 6u);
}

TEST(ScreenMovieWriterTest, AFullQueueDropsFramesInsteadOfWaiting) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mp4", 640, 360, 60, false, 2};
    ScreenMovieWriter writer(settings);
    const Time t0 = std::chrono::steady_clock::now();
    // Noise: far more work for the encoder than for the conversion each append does.
    auto noisy = frameAt(t0, 640, 360, 0);
    std::uint32_t seed = 1;
    for (auto& byte : noisy.bgra) byte = std::uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    int accepted = 0;
    for (int i = 0; i < 40; ++i) {
        noisy.time = t0 + i * 16ms;
        noisy.bgra[std::size_t(i)] ^= 0xFF;
        accepted += writer.appendVideo(noisy);
    }
    writer.finishInputs(t0 + 40 * 16ms);
    writer.finish();
    EXPECT_GT(writer.droppedFrames(), 0u);
    EXPECT_EQ(std::uint64_t(accepted) + writer.droppedFrames(), 40u);
    EXPECT_GE(writer.writtenFrames(), std::uint64_t(accepted));
    EXPECT_TRUE(playableDuration(settings.file));
}

TEST(ScreenMovieWriterTest, AnAlphaMovieKeepsTransparencyAndTheProbeLeavesNothingBehind) {
    testing::TempDir dir;
    MovieWriterSettings settings{dir / "screen.mov", 64, 48};
    settings.withAlpha = true;
    ScreenMovieWriter writer(settings);
    EXPECT_EQ(writer.videoEncoderName(), "prores_ks");
    // Left half see-through, right half an opaque grey, a band of half-transparent white in the middle.
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < 10; ++n) {
        auto frame = frameAt(start + n * 16ms, 64, 48, 0x80);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                auto* p = &frame.bgra[std::size_t(y * 64 + x) * 4];
                if (y >= 20 && y < 28) {
                    p[0] = p[1] = p[2] = 0xFF;
                    p[3] = 0x80;
                } else {
                    p[3] = x < 32 ? 0 : 0xFF;
                }
            }
        }
        ASSERT_TRUE(writer.appendVideo(frame));
        std::this_thread::sleep_for(5ms);
    }
    writer.finishInputs(start + 160ms);
    writer.finish();

    const auto image = extractVideoFrame(settings.file, 0.05, 64, 48);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, 64);
    const auto pixel = [&](int x, int y) { return &image->pixels[std::size_t(y * image->stride + x * 4)]; };
    EXPECT_EQ(pixel(8, 8)[3], 0);      // transparent
    EXPECT_EQ(pixel(48, 8)[3], 255);   // opaque grey
    EXPECT_NEAR(pixel(48, 8)[1], 0x80, 4);
    EXPECT_NEAR(pixel(48, 24)[3], 0x80, 3);  // half transparent, premultiplied white
    EXPECT_NEAR(pixel(48, 24)[1], 0x80, 4);
    EXPECT_EQ(pixel(8, 24)[3], pixel(48, 24)[3]);

    // The probe answers either way without leaving its movie behind, and a folder it cannot write
    // into is a plain "no".
    const auto probe = probeAlphaWriter(dir.path(), 60);
    EXPECT_EQ(probe.usable, probe.reason.empty());
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("orvane-alpha-probe-", 0), std::string::npos) << entry.path();
    }
    const auto refused = probeAlphaWriter(dir / "missing" / "folder", 60);
    EXPECT_FALSE(refused.usable);
    EXPECT_FALSE(refused.reason.empty());
}

struct CountingProbe {
    AlphaProbeResult answer;
    int runs = 0;
    std::function<AlphaProbeResult()> function() {
        return [this] {
            ++runs;
            return answer;
        };
    }
};

TEST(AlphaProbeMemoTest, AClearAnswerIsKeptPerFrameRateAndABrokenMemoOrANearMissMeansProbingAgain) {
    testing::TempDir dir;
    const auto memo = dir / "cache" / "alpha-probe.json";
    CountingProbe probe{{true, 75, ""}};

    EXPECT_TRUE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_TRUE(alphaWriterUsable(memo, 60, probe.function()));
    EXPECT_EQ(probe.runs, 1);

    // Another frame rate is another question: it is probed and its answer replaces the old one.
    probe.answer = {false, 3, "too slow"};
    EXPECT_FALSE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_FALSE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 2);

    testing::writeTextFile(memo, "{\"machine\": ");
    probe.answer = {true, 70, ""};
    EXPECT_TRUE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 3);
    EXPECT_TRUE(alphaWriterUsable(memo, 30, probe.function()));
    EXPECT_EQ(probe.runs, 3);

    // A near miss is probed again each time and never written down.
    const auto nearMissMemo = dir / "near-miss.json";
    CountingProbe nearMiss{{false, 40, "40 of 60 frames a second"}};
    EXPECT_FALSE(alphaWriterUsable(nearMissMemo, 60, nearMiss.function()));
    EXPECT_FALSE(alphaWriterUsable(nearMissMemo, 60, nearMiss.function()));
    EXPECT_EQ(nearMiss.runs, 2);
    EXPECT_FALSE(std::filesystem::exists(nearMissMemo));
}

// What the recorder leaves when its process is killed: meta.json as written at the start and a
// fragmented movie that stops wherever the last fragment ended.
constexpr const char* kMetaAtStart =
    R"({"id":"$ID","createdAt":"2026-03-01T10:00:00Z","displayWidth":64,"displayHeight":48,"fps":30,)"
    R"("durationMs":0,"hasSystemAudio":false,"hasWebcam":false,"hasCursor":false,"hasMicrophone":false,)"
    R"("sourceKind":"window","sourceTitle":"Terminal","capturedSystemCursor":true})";

// About two seconds of a cut-off capture, with system audio; ProRes 4444 in screen.mov with alpha.
void writeCutOffMovie(const fs::path& file, bool withAlpha = false) {
    ScreenMovieWriter writer(MovieWriterSettings{file, 64, 48, 30, true, 128, withAlpha});
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<float> audio(4800 * 2, 0.1f);
    for (int i = 0; i < 75; ++i) {
        writer.appendVideo(frameAt(t0 + i * 33ms, 64, 48, std::uint8_t(i * 3)));
        if (i % 3 == 0) writer.appendAudio(AudioSamples{audio, 4800, 2, 48000, t0 + i * 33ms});
        while (writer.writtenFrames() < std::uint64_t(i) + 1) std::this_thread::sleep_for(1ms);
    }
    writer.abandon();
}

using UnfinishedRecordingTest = testing::LibraryFixture;

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

// Alpha captures record to screen.mov: killed, they are repaired or set aside like opaque ones.
TEST_F(UnfinishedRecordingTest, KilledAlphaCapturesAreRepairedOrMovedAsTheirMovieDecides) {
    std::string alphaMeta = kMetaAtStart;
    alphaMeta.replace(alphaMeta.find("\"capturedSystemCursor\""), 0, "\"recordedWithAlpha\":true,");
    const auto cutOff = writeRecordingFolder(alphaMeta);
    writeCutOffMovie(cutOff / "screen.mov", true);
    const auto expected = playableDuration(cutOff / "screen.mov");
    ASSERT_TRUE(expected);

    // Killed before the first fragment closed: nothing plays, so the folder goes to Recovered/.
    const auto unplayable = writeRecordingFolder(alphaMeta);
    writeTextFile(unplayable / "screen.mov", "");

    // Killed before meta.json said it was an alpha capture, or with meta.json gone: the movie that is
    // there decides, and the repaired metadata names it so readers open it.
    const auto saysOpaque = writeRecordingFolder(kMetaAtStart);
    fs::copy_file(cutOff / "screen.mov", saysOpaque / "screen.mov");
    const auto id = Uuid::random();
    const auto noMeta = location().recordingsRoot / id.string();
    fs::create_directories(noMeta);
    fs::copy_file(cutOff / "screen.mov", noMeta / "screen.mov");

    auto& library = open();
    EXPECT_FALSE(fs::exists(unplayable));
    EXPECT_TRUE(fs::exists(location().recoveredRoot / unplayable.filename() / "screen.mov"));
    ASSERT_EQ(toasts_.toasts().size(), 1u);
    EXPECT_EQ(toasts_.toasts()[0].title, "Recovered 1 unfinished recording");

    ASSERT_EQ(library.recordings().size(), 3u);
    for (const auto& folder : {cutOff, saysOpaque, noMeta}) {
        SCOPED_TRACE(folder.filename().string());
        const auto& repaired = library.find(folder.filename().string());
        EXPECT_EQ(repaired.durationMs, std::int64_t(*expected * 1000));
        EXPECT_EQ(repaired.recordedWithAlpha, true);
        EXPECT_TRUE(repaired.hasSystemAudio);
        EXPECT_EQ(library.folderOf(repaired.id).screenVideoFile(repaired), folder / "screen.mov");
    }
    EXPECT_EQ(library.find(cutOff.filename().string()).sourceTitle, "Terminal");
}

// A meta.json that no longer decodes keeps whatever it still says: each field is read on its own,
// and only what is missing or unreadable comes from the movie or the defaults.
TEST_F(UnfinishedRecordingTest, DamagedMetadataKeepsEveryFieldItStillHolds) {
    const auto movie = sampleVideo();  // 320x180 at 30 fps
    const std::string start = R"({"id":"$ID","createdAt":"2026-03-01T10:00:00Z","fps":24,"sourceTitle":"Quarterly review",)";
    struct Case {
        const char* what;
        std::string text;
        bool datedByFile;
        std::int64_t fps;
        std::int64_t width;
    };
    const Case cases[] = {
        {"one mistyped field", start + R"("sourceKind":"window","displayWidth":64,"displayHeight":48,"durationMs":0,)"
                                       R"("hasWebcam":"no","hasCursor":false,"hasMicrophone":false,"hasSystemAudio":false})",
         true, 24, 64},
        // Cut off part-way through a number: "12" is not taken for the width.
        {"cut off", start + R"("sourceKind":"window","displayWidth":12)", true, 24, 320},
        {"bad date, no rate", R"({"id":"$ID","createdAt":"yesterday","sourceTitle":"Quarterly review","sourceKind":"window"})",
         false, 30, 320},
    };
    std::vector<fs::path> folders;
    for (const auto& c : cases) {
        folders.push_back(writeRecordingFolder(c.text));
        fs::copy_file(movie, folders.back() / "screen.mp4");
    }

    auto& library = open();
    ASSERT_EQ(library.recordings().size(), std::size(cases));
    const auto now = std::chrono::system_clock::now();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.what);
        const auto& meta = library.find(folders[i].filename().string());
        EXPECT_EQ(meta.id.string(), folders[i].filename().string());
        EXPECT_EQ(meta.sourceTitle, "Quarterly review");
        EXPECT_EQ(meta.sourceKind, RecordingSourceKind::window);
        EXPECT_EQ(meta.fps, c.fps);
        EXPECT_EQ(meta.displayWidth, c.width);
        EXPECT_GT(meta.durationMs, 900);
        if (c.datedByFile) {
            EXPECT_EQ(meta.createdAt, parseIso8601("2026-03-01T10:00:00Z"));
        } else {
            EXPECT_GT(meta.createdAt, now - 10min);
        }
        // The damaged file is kept as it was; the new one decodes.
        std::string original = c.text;
        original.replace(original.find("$ID"), 3, folders[i].filename().string());
        EXPECT_EQ(readTextFile(folders[i] / "meta.json.corrupt"), original);
        EXPECT_TRUE(decodeRecordingMeta(readTextFile(folders[i] / "meta.json")));
    }
}

}  // namespace
}  // namespace orvane
