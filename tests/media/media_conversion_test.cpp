#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <regex>

extern "C" {
#include <libavutil/display.h>
}

#include "media/ffmpeg_handles.h"
#include "media/media_conversion_import.h"
#include "media/media_probe.h"
#include "media/sample_video.h"
#include "media/video_frame.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Copies every stream of an MP4 into another container (chosen by the extension of `output`).
void remux(const fs::path& input, const fs::path& output) {
    auto in = ffmpeg::openInput(input.string());
    ASSERT_TRUE(in);
    AVFormatContext* raw = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&raw, nullptr, nullptr, output.c_str()), 0);
    ffmpeg::OutputFormatContext out(raw);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(out.get(), nullptr);
        ASSERT_GE(avcodec_parameters_copy(stream->codecpar, in->streams[i]->codecpar), 0);
        stream->codecpar->codec_tag = 0;
    }
    ASSERT_GE(avio_open(&out->pb, output.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(out.get(), nullptr), 0);
    ffmpeg::Packet packet(av_packet_alloc());
    while (av_read_frame(in.get(), packet.get()) >= 0) {
        av_packet_rescale_ts(packet.get(), in->streams[packet->stream_index]->time_base,
                             out->streams[packet->stream_index]->time_base);
        ASSERT_GE(av_interleaved_write_frame(out.get(), packet.get()), 0);
    }
    ASSERT_GE(av_write_trailer(out.get()), 0);
}

// A 16-bit PCM WAV of a 440 Hz tone.
void writeWav(const fs::path& file, double seconds, int rate, int channels) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
    std::ofstream out(file, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(static_cast<std::uint16_t>(channels));
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate * channels * 2));
    u16(static_cast<std::uint16_t>(channels * 2));
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * i / rate));
        for (int c = 0; c < channels; ++c) u16(static_cast<std::uint16_t>(sample));
    }
}

struct StreamSummary {
    std::string container;
    std::vector<AVCodecID> codecs;
    int pixelFormat = -1;
    int rotation = 0;  // as av_display_rotation_get reads it
};

StreamSummary summarize(const fs::path& file) {
    StreamSummary summary;
    auto input = ffmpeg::openInput(file.string());
    if (!input) return summary;
    summary.container = input->iformat->name;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        summary.codecs.push_back(stream->codecpar->codec_id);
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            summary.pixelFormat = stream->codecpar->format;
            if (const auto* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
                summary.rotation = static_cast<int>(
                    std::lround(av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix))));
            }
        }
    }
    return summary;
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
    return files;
}

const std::string kVideoFailed = "Orvane could not convert this video. Install ffmpeg to widen import support.";
const std::string kAudioFailed = "Orvane could not convert this audio file. Install ffmpeg to widen import support.";

MediaImportTools withoutFfmpeg() {
    MediaImportTools tools;
    tools.locateTool = [](std::string_view) -> std::optional<fs::path> { return std::nullopt; };
    return tools;
}

void failingConverter(const fs::path&, const fs::path& output, std::stop_token) {
    testing::writeTextFile(output, "half a movie");  // what a crashed converter may leave behind
    throw std::runtime_error("the converter gave up");
}

MediaImportError::Case importFailure(const fs::path& file, const fs::path& folder, const MediaImportTools& tools,
                                     std::string* message) {
    try {
        importMedia(file, folder, tools);
    } catch (const MediaImportError& error) {
        *message = error.what();
        return error.which();
    }
    ADD_FAILURE() << "import of " << file << " succeeded";
    return MediaImportError::Case::unsupported;
}

class MediaConversion : public ::testing::Test {
protected:
    testing::TempDir dir;
    fs::path inbox = dir / "inbox";
    fs::path recording = dir / "recording";
    void SetUp() override {
        fs::create_directories(inbox);
        fs::create_directories(recording);
    }
};

TEST_F(MediaConversion, VideosBecomeFaststartH264AacMp4InTheRecordingFolder) {
    writeSampleVideo(inbox / "source.mp4", SampleVideoLayout{});
    fs::copy_file(inbox / "source.mp4", inbox / "phone.mov");
    remux(inbox / "source.mp4", inbox / "screen.mkv");
    ASSERT_EQ(summarize(inbox / "screen.mkv").container, "matroska,webm");

    std::vector<fs::path> made;
    for (const auto* name : {"phone.mov", "screen.mkv"}) {
        const auto imported = importMedia(inbox / name, recording, withoutFfmpeg());
        EXPECT_EQ(imported.kind, MediaFileKind::video);
        EXPECT_EQ(imported.file.parent_path(), recording);
        EXPECT_TRUE(std::regex_match(imported.file.filename().string(),
                                     std::regex("clip-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.mp4")))
            << imported.file;
        ASSERT_TRUE(imported.duration);
        EXPECT_NEAR(*imported.duration, 2.0, 0.1);

        const auto summary = summarize(imported.file);
        EXPECT_EQ(summary.codecs, (std::vector<AVCodecID>{AV_CODEC_ID_H264, AV_CODEC_ID_AAC}));
        EXPECT_EQ(summary.pixelFormat, AV_PIX_FMT_YUV420P);
        // +faststart: the index comes before the media data.
        const std::string bytes = testing::readTextFile(imported.file);
        ASSERT_NE(bytes.find("moov"), std::string::npos);
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
        made.push_back(imported.file.filename());
    }
    EXPECT_NE(made[0], made[1]);

    // A phone video held upright, without sound: the rotation survives and no audio track appears.
    writeSampleVideo(inbox / "upright.mp4", {.withAudio = false, .rotationDegrees = 90});
    const auto rotated = importMedia(inbox / "upright.mp4", recording, withoutFfmpeg());
    EXPECT_EQ(summarize(rotated.file).codecs, (std::vector<AVCodecID>{AV_CODEC_ID_H264}));
    EXPECT_EQ(summarize(rotated.file).rotation, summarize(inbox / "upright.mp4").rotation);
    EXPECT_NE(summarize(rotated.file).rotation, 0);
    made.push_back(rotated.file.filename());

    std::sort(made.begin(), made.end());
    auto present = filesIn(recording);
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, made);  // no temporary files left beside them
}

TEST_F(MediaConversion, AudioBecomesAacOrMp3AndVideoLosesItsPicture) {
    writeWav(inbox / "voice.wav", 1.5, 44100, 1);
    const auto imported = importMedia(inbox / "voice.wav", recording, withoutFfmpeg());
    EXPECT_EQ(imported.kind, MediaFileKind::audio);
    EXPECT_TRUE(imported.file.filename().string().starts_with("audio-"));
    EXPECT_EQ(imported.file.extension(), ".m4a");
    EXPECT_EQ(summarize(imported.file).codecs, (std::vector<AVCodecID>{AV_CODEC_ID_AAC}));
    ASSERT_TRUE(imported.duration);
    EXPECT_NEAR(*imported.duration, 1.5, 0.05);

    if (avcodec_find_encoder_by_name("libmp3lame")) {
        convertAudioFile(inbox / "voice.wav", recording / "voice.MP3");
        EXPECT_EQ(summarize(recording / "voice.MP3").codecs, (std::vector<AVCodecID>{AV_CODEC_ID_MP3}));
        EXPECT_NEAR(*playableDuration(recording / "voice.MP3"), 1.5, 0.1);
    }

    writeSampleVideo(inbox / "movie.mp4", SampleVideoLayout{});
    convertAudioFile(inbox / "movie.mp4", recording / "soundtrack.m4a");
    EXPECT_EQ(summarize(recording / "soundtrack.m4a").codecs, (std::vector<AVCodecID>{AV_CODEC_ID_AAC}));
    EXPECT_NEAR(*playableDuration(recording / "soundtrack.m4a"), 2.0, 0.1);

    // No sound to take: a failure, and the file that was there stays as it was.
    writeSampleVideo(inbox / "silent.mp4", {.withAudio = false});
    EXPECT_THROW(convertAudioFile(inbox / "silent.mp4", recording / "soundtrack.m4a"), std::runtime_error);
    EXPECT_EQ(summarize(recording / "soundtrack.m4a").codecs, (std::vector<AVCodecID>{AV_CODEC_ID_AAC}));
}

TEST_F(MediaConversion, ClassificationByPictureExtensionThenByStreams) {
    EXPECT_EQ(classifyMedia(inbox / "logo.PNG"), MediaFileKind::image);
    EXPECT_EQ(classifyMedia(inbox / "photo.heic"), MediaFileKind::image);

    RgbaImage picture{4, 4, 16, std::vector<std::uint8_t>(64, 200)};
    ASSERT_TRUE(writePng(picture, inbox / "picture-without-extension"));
    EXPECT_EQ(classifyMedia(inbox / "picture-without-extension"), MediaFileKind::image);

    writeSampleVideo(inbox / "movie.bin", SampleVideoLayout{});
    EXPECT_EQ(classifyMedia(inbox / "movie.bin"), MediaFileKind::video);
    writeWav(inbox / "tone.dat", 0.2, 48000, 2);
    EXPECT_EQ(classifyMedia(inbox / "tone.dat"), MediaFileKind::audio);

    // Unreadable files fall back to their extension so a damaged movie still reads as a movie.
    using Expected = std::pair<std::string, std::optional<MediaFileKind>>;
    for (const auto& [name, kind] : {Expected{"broken.mov", MediaFileKind::video},
                                     Expected{"broken.m4a", MediaFileKind::audio}, Expected{"broken.xyz", {}}}) {
        testing::writeTextFile(inbox / name, std::string(2048, '\x01'));
        EXPECT_EQ(classifyMedia(inbox / name), kind) << name;
    }
    testing::writeTextFile(inbox / "notes.txt", "shopping list\nmilk\n");
    EXPECT_EQ(classifyMedia(inbox / "notes.txt"), std::nullopt);
    EXPECT_EQ(classifyMedia(inbox / "missing.mov"), std::nullopt);
}

TEST_F(MediaConversion, ImportErrorsCarryTheirMessagesAndLeaveNothingBehind) {
    testing::writeTextFile(inbox / "notes.txt", "shopping list\n");
    testing::writeTextFile(inbox / "broken.mov", std::string(4096, '\x01'));
    testing::writeTextFile(inbox / "broken.wav", std::string(4096, '\x01'));
    // A well-formed movie with nothing in it converts, but measures no time.
    writeSampleVideo(inbox / "empty.mp4", {.seconds = 0});
    const std::string kUnreadable = "Orvane could not read media from that file.";
    const struct {
        const char* file;
        MediaImportError::Case which;
        std::string message;
    } cases[] = {
        {"notes.txt", MediaImportError::Case::unsupported, "That file type is not supported."},
        {"missing.mp4", MediaImportError::Case::unreadable, kUnreadable},
        {"empty.mp4", MediaImportError::Case::unreadable, kUnreadable},
        {"broken.mov", MediaImportError::Case::conversionFailed, kVideoFailed},
        {"broken.wav", MediaImportError::Case::conversionFailed, kAudioFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string message;
        EXPECT_EQ(importFailure(inbox / c.file, recording, withoutFfmpeg(), &message), c.which);
        EXPECT_EQ(message, c.message);
    }

    // A cancelled conversion stops with its own error.
    std::stop_source stop;
    stop.request_stop();
    writeSampleVideo(inbox / "source.mp4", SampleVideoLayout{});
    EXPECT_THROW(convertVideoToMp4(inbox / "source.mp4", recording / "out.mp4", stop.get_token()),
                 MediaConversionCancelled);
    EXPECT_THROW(importMedia(inbox / "source.mp4", recording, MediaImportTools{}, stop.get_token()),
                 MediaConversionCancelled);
    EXPECT_TRUE(filesIn(recording).empty());
}

TEST_F(MediaConversion, WithoutFfmpegOnlyAnMp4IsCopiedWhenConversionFails) {
    writeSampleVideo(inbox / "source.mp4", SampleVideoLayout{});
    fs::copy_file(inbox / "source.mp4", inbox / "phone.mov");
    fs::copy_file(inbox / "source.mp4", inbox / "CAMERA.MP4");
    auto tools = withoutFfmpeg();
    tools.convertVideo = failingConverter;

    std::string message;
    EXPECT_EQ(importFailure(inbox / "phone.mov", recording, tools, &message), MediaImportError::Case::conversionFailed);
    EXPECT_EQ(message, kVideoFailed);
    EXPECT_TRUE(filesIn(recording).empty());

    const auto copied = importMedia(inbox / "CAMERA.MP4", recording, tools);
    EXPECT_EQ(testing::readTextFile(copied.file), testing::readTextFile(inbox / "CAMERA.MP4"));
    EXPECT_NEAR(*copied.duration, 2.0, 0.1);
    EXPECT_EQ(filesIn(recording), std::vector<fs::path>{copied.file.filename()});

    // Audio has no copy rule.
    writeWav(inbox / "voice.wav", 0.5, 48000, 1);
    tools.convertAudio = failingConverter;
    EXPECT_EQ(importFailure(inbox / "voice.wav", recording, tools, &message), MediaImportError::Case::conversionFailed);
    EXPECT_EQ(message, kAudioFailed);
}

TEST_F(MediaConversion, FfmpegFallbackGetsTheWrittenArguments) {
    writeSampleVideo(inbox / "source.mp4", SampleVideoLayout{});
    fs::copy_file(inbox / "source.mp4", inbox / "phone.mov");
    writeWav(inbox / "voice.wav", 0.5, 48000, 1);
    // Stands in for ffmpeg: records its arguments and copies the input to the last argument.
    const auto tools = dir / "tools";
    const auto log = dir / "arguments.txt";
    testing::writeTextFile(tools / "ffmpeg", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log.string() +
                                                 "'\nfor a; do last=$a; done\ncp \"$3\" \"$last\"\n");
    fs::permissions(tools / "ffmpeg", fs::perms::owner_all);

    MediaImportTools fallback;
    fallback.locateTool = FFmpegTool::locator({tools});
    fallback.convertVideo = failingConverter;
    fallback.convertAudio = failingConverter;

    const auto recordedArguments = [&] {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const auto video = importMedia(inbox / "phone.mov", recording, fallback);
    auto arguments = recordedArguments();
    ASSERT_EQ(arguments.size(), 18u);
    EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.end() - 1),
              (std::vector<std::string>{"-y", "-i", (inbox / "phone.mov").string(), "-map", "0:v:0", "-map", "0:a:0?",
                                        "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "192k",
                                        "-movflags", "+faststart"}));
    // ffmpeg writes beside the final file, under a name with the same extension.
    EXPECT_EQ(fs::path(arguments.back()).parent_path(), recording);
    EXPECT_EQ(fs::path(arguments.back()).extension(), ".mp4");
    EXPECT_NEAR(*video.duration, 2.0, 0.1);

    importMedia(inbox / "voice.wav", recording, fallback);
    arguments = recordedArguments();
    ASSERT_EQ(arguments.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(arguments.begin(), arguments.end() - 1),
              (std::vector<std::string>{"-y", "-i", (inbox / "voice.wav").string(), "-vn", "-c:a", "aac", "-b:a", "192k"}));
    EXPECT_EQ(ffmpegAudioConversionArguments("a.wav", "b.mp3")[5], "libmp3lame");
    EXPECT_EQ(filesIn(recording).size(), 2u);

    // ffmpeg that fails: the conversion message, and nothing left.
    testing::writeTextFile(tools / "ffmpeg", "#!/bin/sh\necho 'Invalid data found' >&2\nexit 1\n");
    std::string message;
    EXPECT_EQ(importFailure(inbox / "phone.mov", recording, fallback, &message),
              MediaImportError::Case::conversionFailed);
    EXPECT_EQ(message, kVideoFailed);
    EXPECT_EQ(filesIn(recording).size(), 2u);
}

}  // namespace
}  // namespace orvane
