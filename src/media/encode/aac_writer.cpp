#include "media/aac_encoder.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>


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
    framesPushed_ += static_cast<std::int64_t>(frames);
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

}  // namespace orvane
