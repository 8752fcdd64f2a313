#include "render/audio/aac_encoder.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "base/atomic_file.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string(what) + ": " + ffmpeg::errorText(status));
}

}  // namespace

AacEncoder::AacEncoder(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader) {
    ffmpeg::routeLogging();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) throw std::runtime_error("the AAC encoder is not available");
    codec_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!codec_ || !frame_ || !packet_) throw std::bad_alloc();
    if (sampleRate <= 0 || channels <= 0) throw std::runtime_error("AAC needs a sample rate and channels");
    codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec_->sample_rate = sampleRate;
    av_channel_layout_default(&codec_->ch_layout, channels);
    codec_->bit_rate = bitRate;
    codec_->time_base = AVRational{1, sampleRate};
    if (globalHeader) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(codec_.get(), codec, nullptr), "cannot open the AAC encoder");

    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = sampleRate;
    frame_->nb_samples = codec_->frame_size;
    check(av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout), "cannot set the channel layout");
    check(av_frame_get_buffer(frame_.get(), 0), "cannot allocate an audio frame");
}

void AacEncoder::push(const float* interleaved, std::size_t frames, const PacketSink& sink) {
    const auto ch = static_cast<std::size_t>(channels());
    const auto frameSize = static_cast<std::size_t>(codec_->frame_size);
    pending_.insert(pending_.end(), interleaved, interleaved + frames * ch);
    std::size_t offset = 0;
    while (pending_.size() - offset >= frameSize * ch) {
        encodeFrame(pending_.data() + offset, static_cast<int>(frameSize), sink);
        offset += frameSize * ch;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void AacEncoder::finish(const PacketSink& sink) {
    const auto ch = static_cast<std::size_t>(channels());
    if (!pending_.empty()) encodeFrame(pending_.data(), static_cast<int>(pending_.size() / ch), sink);
    pending_.clear();
    check(avcodec_send_frame(codec_.get(), nullptr), "cannot finish the AAC stream");
    drain(sink);
}

void AacEncoder::encodeFrame(const float* interleaved, int frames, const PacketSink& sink) {
    check(av_frame_make_writable(frame_.get()), "cannot reuse an audio frame");
    frame_->nb_samples = frames;
    const int ch = channels();
    for (int c = 0; c < ch; ++c) {
        auto* plane = reinterpret_cast<float*>(frame_->extended_data[c]);
        for (int i = 0; i < frames; ++i) plane[i] = interleaved[static_cast<std::ptrdiff_t>(i) * ch + c];
    }
    frame_->pts = nextPts_;
    nextPts_ += frames;
    check(avcodec_send_frame(codec_.get(), frame_.get()), "cannot encode audio");
    drain(sink);
}

void AacEncoder::drain(const PacketSink& sink) {
    while (true) {
        const int status = avcodec_receive_packet(codec_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        check(status, "cannot encode audio");
        sink(*packet_);
        av_packet_unref(packet_.get());
    }
}

void writeAacFile(const std::filesystem::path& file, const AudioBuffer& audio, std::int64_t bitRate) {
    ffmpeg::routeLogging();
    const auto partial = partialSiblingPath(file);
    try {
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "mp4", partial.c_str()), "cannot create the audio file");
        ffmpeg::OutputFormatContext output(raw);
        AacEncoder encoder(audio.sampleRate, audio.channels, bitRate, output->oformat->flags & AVFMT_GLOBALHEADER);
        AVStream* stream = avformat_new_stream(output.get(), nullptr);
        if (!stream) throw std::bad_alloc();
        check(avcodec_parameters_from_context(stream->codecpar, &encoder.context()), "cannot describe the audio");
        stream->time_base = AVRational{1, audio.sampleRate};
        check(avio_open(&output->pb, partial.c_str(), AVIO_FLAG_WRITE), "cannot create the audio file");
        check(avformat_write_header(output.get(), nullptr), "cannot write the audio file");
        const auto sink = [&](AVPacket& packet) {
            av_packet_rescale_ts(&packet, AVRational{1, audio.sampleRate}, stream->time_base);
            packet.stream_index = stream->index;
            check(av_interleaved_write_frame(output.get(), &packet), "cannot write the audio file");
        };
        encoder.push(audio.samples.data(), audio.frames(), sink);
        encoder.finish(sink);
        check(av_write_trailer(output.get()), "cannot finish the audio file");
        output.reset();  // closes the file before it is renamed
        std::filesystem::rename(partial, file);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
}

}  // namespace orvane
