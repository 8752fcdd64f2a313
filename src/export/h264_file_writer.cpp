#include "export/h264_file_writer.h"

#include <algorithm>
#include <stdexcept>

#include "base/log.h"
#include "base/log_areas.h"
#include "export/export_error.h"
#include "media/encode/video_encoder.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// Set-up failures are logged with their reason and reach the user as the writer error.
[[noreturn]] void setupFailed(const fs::path& file, const std::string& why) {
    log::error(log_area::kExport, "cannot set up the video writer for %s: %s", file.c_str(), why.c_str());
    throw ExportError::writerSetup();
}

void checkSetup(int status, const fs::path& file, const char* what) {
    if (status < 0) setupFailed(file, std::string(what) + ": " + ffmpeg::errorText(status));
}

[[noreturn]] void writeFailed(const char* what, int status) {
    throw std::runtime_error(std::string("Couldn't write the video: ") + what + " (" + ffmpeg::errorText(status) + ")");
}

VideoEncoderSettings encoderSettings(const OutputProfile& profile, H264Encoder encoder, const H264Settings& settings) {
    VideoEncoderSettings s;
    s.width = profile.width;
    s.height = profile.height;
    s.fps = profile.fps;
    s.bitRate = profile.bitrate;
    // A VBV of 1.5x the average over two seconds keeps peaks streamable without starving busy
    // scenes (cursor motion over text) of bits.
    s.maxRate = static_cast<std::int64_t>(profile.bitrate) * 3 / 2;
    s.bufferSize = static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(profile.bitrate) * 2, INT32_MAX));
    s.sampleAspectRatio = AVRational{1, 1};
    s.x264Preset = settings.x264Preset;
    s.threads = settings.threads;
    // The export retries a failed hardware attempt in software itself, so the encoder must not
    // switch on its own.
    s.hardware = encoder == H264Encoder::hardware ? VideoHardware::required : VideoHardware::off;
    return s;
}

}  // namespace

struct H264FileWriter::State {
    fs::path file;
    OutputProfile profile;
    ffmpeg::OutputFormatContext output;
    std::unique_ptr<VideoEncoder> encoder;
    ffmpeg::Frame picture;  // yuv420p (software) or nv12 (uploaded to the GPU)
    ffmpeg::ScaleContext converter;
    bool finished = false;

    void write(AVPacket& packet) {
        if (const int written = av_interleaved_write_frame(output.get(), &packet); written < 0) {
            writeFailed("cannot write to the file", written);
        }
    }
};

H264FileWriter::H264FileWriter(const fs::path& file, const OutputProfile& profile, H264Encoder encoder,
                               const H264Settings& settings)
    : state_(std::make_unique<State>()) {
    ffmpeg::routeLogging();
    State& s = *state_;
    s.file = file;
    s.profile = profile;
    // 4:2:0 needs even sizes.
    if (profile.width < 2 || profile.height < 2 || profile.width % 2 != 0 || profile.height % 2 != 0 ||
        profile.fps < 1 || profile.bitrate < 1) {
        setupFailed(file, "unsupported profile " + std::to_string(profile.width) + "x" +
                              std::to_string(profile.height) + " at " + std::to_string(profile.fps) + " fps");
    }
    AVFormatContext* raw = nullptr;
    checkSetup(avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()), file, "cannot set up MP4");
    s.output.reset(raw);
    try {
        s.encoder = std::make_unique<VideoEncoder>(*raw, encoderSettings(profile, encoder, settings));
    } catch (const std::runtime_error& error) {
        // The hardware attempt's reason goes to the caller, which retries in software.
        if (encoder == H264Encoder::hardware) throw;
        setupFailed(file, error.what());
    }
    try {
        s.picture = s.encoder->newPicture();
        s.converter = s.encoder->newConverter(AV_PIX_FMT_RGB32, SWS_POINT);
    } catch (const std::runtime_error& error) {
        setupFailed(file, error.what());
    }
    checkSetup(avio_open(&s.output->pb, file.c_str(), AVIO_FLAG_WRITE), file, "cannot create the file");
    AVDictionary* options = nullptr;
    if (settings.fastStart) av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(s.output.get(), &options);
    av_dict_free(&options);
    checkSetup(header, file, "cannot write the MP4 header");
}

H264FileWriter::~H264FileWriter() = default;

void H264FileWriter::append(const std::uint8_t* argb, int stride, std::int64_t frameIndex) {
    State& s = *state_;
    if (!argb || stride < s.profile.width * 4 || s.finished) throw ExportError::pixelBuffer();
    if (av_frame_make_writable(s.picture.get()) < 0) throw ExportError::pixelBuffer();
    const std::uint8_t* source[4] = {argb, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {stride, 0, 0, 0};
    if (sws_scale(s.converter.get(), source, sourceStride, 0, s.profile.height, s.picture->data, s.picture->linesize) !=
        s.profile.height) {
        throw ExportError::pixelBuffer();
    }
    s.encoder->encode(*s.picture, frameIndex, [&s](AVPacket& packet) { s.write(packet); });
}

void H264FileWriter::finish() {
    State& s = *state_;
    if (s.finished) return;
    s.finished = true;
    s.encoder->finish([&s](AVPacket& packet) { s.write(packet); });
    if (const int status = av_write_trailer(s.output.get()); status < 0) writeFailed("cannot finish the MP4", status);
    // Closing flushes the last buffered bytes; a full disk shows up here.
    if (const int status = avio_closep(&s.output->pb); status < 0) writeFailed("cannot finish the file", status);
}

}  // namespace orvane
