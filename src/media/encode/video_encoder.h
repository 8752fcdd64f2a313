#pragma once

// Include only in .cpp files that talk to FFmpeg.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "media/ffmpeg_handles.h"

namespace orvane {

// Where a video encoder runs.
enum class VideoHardware {
    preferred,  // VAAPI when a device opens and takes the settings, libx264 otherwise
    required,   // VAAPI or an error, for callers that retry in software on their own terms
    off,        // libx264 only
};

struct VideoEncoderSettings {
    int width = 0;  // even: 4:2:0
    int height = 0;
    int fps = 30;
    AVRational frameRate{0, 1};  // exact, for a source at 30000/1001 and the like; unset: fps
    AVRational timeBase{0, 1};  // of the times handed to encode(); unset: 1/fps
    int keyFrameInterval = 0;   // in frames; 0: two seconds
    // A key frame whenever the last one is this old, counted in time rather than frames, for
    // sources whose frames come unevenly (a still screen sends few).
    std::optional<std::chrono::microseconds> keyFrameAge;
    int maxBFrames = -1;               // -1: the encoder's choice
    std::int64_t bitRate = 0;          // average; 0: libx264's constant quality
    std::int64_t hardwareBitRate = 0;  // on the GPU; 0: bitRate
    std::int64_t maxRate = 0;          // with bufferSize, a VBV; 0: none
    int bufferSize = 0;
    int quality = 0;  // libx264 crf when there is no bit rate; 0: its default
    std::string x264Preset = "veryfast";
    bool realtime = false;               // each frame leaves the encoder at once: no look-ahead
    int threads = 0;                     // 0: the encoder chooses
    AVRational sampleAspectRatio{0, 1};  // unset: not written
    // The pictures are BT.709 limited range, and newConverter() makes them so. Off for pictures
    // handed on in a camera's or a source file's own colours.
    bool bt709 = true;
    VideoHardware hardware = VideoHardware::off;
    bool hevcOnHardware = false;  // the GPU's HEVC encoder instead of its H.264 one
    std::string hardwareDevice;   // a VAAPI node; empty: vaapiRenderDevice()
};

// Converts `from` pictures to `to` at one size, full-range RGB in, BT.709 limited range out. Throws
// std::runtime_error.
ffmpeg::ScaleContext newBt709Converter(int width, int height, AVPixelFormat from, AVPixelFormat to, int swsFlags);

// H.264 High in software (libx264), or on the GPU through VAAPI, writing one track of a movie.
// Pictures go in as planar 4:2:0 (pictureFormat()); on the GPU they are uploaded here.
class VideoEncoder {
public:
    // Receives each packet in the track's time base, its stream index set. The packet is emptied
    // after the call; the sink may take its contents.
    using PacketSink = std::function<void(AVPacket& packet)>;

    // Opens the encoder and adds its track to `output`, whose header is not written yet. Throws
    // std::runtime_error with the reason when no encoder opens.
    VideoEncoder(AVFormatContext& output, const VideoEncoderSettings& settings);

    AVStream& stream() const { return *stream_; }
    const AVCodecContext& context() const { return *codec_; }
    bool onHardware() const { return static_cast<bool>(hardwareFrames_); }
    const char* name() const { return codec_->codec->name; }

    AVPixelFormat pictureFormat() const { return onHardware() ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P; }
    // A picture of the encoder's size and pictureFormat(). Throws std::runtime_error.
    ffmpeg::Frame newPicture() const;
    // Converts `sourceFormat` pictures of the encoder's size to pictureFormat(), into BT.709
    // limited range when the settings say so. Throws std::runtime_error.
    ffmpeg::ScaleContext newConverter(AVPixelFormat sourceFormat, int swsFlags) const;

    // Encodes `picture` at `pts` (settings' time base; rising). Throws std::runtime_error.
    void encode(AVFrame& picture, std::int64_t pts, const PacketSink& sink);
    // Drains what the encoder holds back.
    void finish(const PacketSink& sink);

private:
    void openHardware(AVFormatContext& output, const VideoEncoderSettings& settings);
    void openSoftware(AVFormatContext& output, const VideoEncoderSettings& settings);
    void configure(AVCodecContext& context, AVFormatContext& output, const VideoEncoderSettings& settings,
                   std::int64_t bitRate) const;
    void drain(const PacketSink& sink);

    ffmpeg::CodecContext codec_;
    ffmpeg::BufferRef device_;
    ffmpeg::BufferRef hardwareFrames_;
    ffmpeg::Packet packet_;
    AVStream* stream_ = nullptr;
    bool bt709_ = true;
    std::int64_t keyFrameTicks_ = 0;  // 0: no key frames forced by age
    std::int64_t lastKeyPts_ = AV_NOPTS_VALUE;
};

}  // namespace orvane
