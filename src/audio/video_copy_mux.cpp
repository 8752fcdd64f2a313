#include "audio/video_copy_mux.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "base/atomic_file.h"

namespace orvane {

namespace {

void check(int status, const std::string& what) {
    if (status < 0) throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

}  // namespace

VideoCopyMux::VideoCopyMux(const std::filesystem::path& video, const std::filesystem::path& output)
    : partial_(partialSiblingPath(output)), target_(output) {
    input_ = ffmpeg::openInput(video.string());
    if (!input_) throw std::runtime_error("Couldn't open the rendered video " + video.string());
    const int index = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) throw std::runtime_error("The rendered video " + video.string() + " holds no video stream");
    inputVideo_ = input_->streams[index];
    if (inputVideo_->duration != AV_NOPTS_VALUE && inputVideo_->duration > 0) {
        videoDuration_ = static_cast<double>(inputVideo_->duration) * av_q2d(inputVideo_->time_base);
    } else if (input_->duration > 0) {
        videoDuration_ = static_cast<double>(input_->duration) / AV_TIME_BASE;
    }

    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, "mp4", partial_.c_str()), "Couldn't create " + output.string());
    output_.reset(raw);
    outputVideo_ = avformat_new_stream(output_.get(), nullptr);
    if (!outputVideo_) throw std::bad_alloc();
    check(avcodec_parameters_copy(outputVideo_->codecpar, inputVideo_->codecpar), "Couldn't copy the video stream");
    outputVideo_->codecpar->codec_tag = 0;  // let the MP4 muxer pick its own tag
    outputVideo_->time_base = inputVideo_->time_base;
    outputVideo_->avg_frame_rate = inputVideo_->avg_frame_rate;
    // Rotation and other stream-level side data travel with the picture.
    for (int i = 0; i < inputVideo_->nb_side_data; ++i) {
        const auto& side = inputVideo_->side_data[i];
        auto* copy = av_stream_new_side_data(outputVideo_, side.type, side.size);
        if (!copy) throw std::bad_alloc();
        std::copy_n(side.data, side.size, copy);
    }
}

VideoCopyMux::~VideoCopyMux() {
    if (finished_) return;
    output_.reset();
    std::error_code ignored;
    std::filesystem::remove(partial_, ignored);
}

bool VideoCopyMux::wantsGlobalHeader() const { return output_->oformat->flags & AVFMT_GLOBALHEADER; }

void VideoCopyMux::addAudioStream(const AVCodecParameters& parameters, AVRational timeBase) {
    outputAudio_ = avformat_new_stream(output_.get(), nullptr);
    if (!outputAudio_) throw std::bad_alloc();
    check(avcodec_parameters_copy(outputAudio_->codecpar, &parameters), "Couldn't describe the audio stream");
    outputAudio_->codecpar->codec_tag = 0;
    outputAudio_->time_base = timeBase;
}

void VideoCopyMux::writeAudio(AVPacket& packet, AVRational timeBase) {
    av_packet_rescale_ts(&packet, timeBase, outputAudio_->time_base);
    packet.stream_index = outputAudio_->index;
    packet.pos = -1;
    check(av_interleaved_write_frame(output_.get(), &packet), "Couldn't write audio to " + target_.string());
}

void VideoCopyMux::run(const std::function<void(double untilSeconds)>& audioUntil) {
    check(avio_open(&output_->pb, partial_.c_str(), AVIO_FLAG_WRITE), "Couldn't create " + target_.string());
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(output_.get(), &options);
    av_dict_free(&options);
    check(header, "Couldn't write " + target_.string());

    ffmpeg::Packet packet(av_packet_alloc());
    if (!packet) throw std::bad_alloc();
    const double videoTimeBase = av_q2d(inputVideo_->time_base);
    const std::int64_t origin = inputVideo_->start_time == AV_NOPTS_VALUE ? 0 : inputVideo_->start_time;
    while (true) {
        const int status = av_read_frame(input_.get(), packet.get());
        if (status == AVERROR_EOF) break;
        check(status, "Couldn't read the rendered video");
        if (packet->stream_index != inputVideo_->index) {
            av_packet_unref(packet.get());
            continue;
        }
        const std::int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        if (stamp != AV_NOPTS_VALUE) audioUntil(static_cast<double>(stamp - origin) * videoTimeBase);
        av_packet_rescale_ts(packet.get(), inputVideo_->time_base, outputVideo_->time_base);
        packet->stream_index = outputVideo_->index;
        packet->pos = -1;
        check(av_interleaved_write_frame(output_.get(), packet.get()), "Couldn't write video to " + target_.string());
    }
    audioUntil(std::numeric_limits<double>::infinity());
    check(av_write_trailer(output_.get()), "Couldn't finish " + target_.string());
    output_.reset();  // closes the file before the rename
    std::filesystem::rename(partial_, target_);
    finished_ = true;
}

}  // namespace orvane
