#include "media/encode/aac_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string(what) + ": " + ffmpeg::errorText(status));
}

const AVCodec* findEncoder(AudioTrackCodec codec) {
    if (codec == AudioTrackCodec::mp3) {
        const AVCodec* lame = avcodec_find_encoder_by_name("libmp3lame");
        if (!lame) throw std::runtime_error("the MP3 encoder is not available");
        return lame;
    }
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!aac) throw std::runtime_error("the AAC encoder is not available");
    return aac;
}

}  // namespace

int AacWriter::supportedSampleRate(AudioTrackCodec codec, int wanted) {
    const int* rates = findEncoder(codec)->supported_samplerates;
    if (!rates) return wanted > 0 ? wanted : 48000;
    int fallback = rates[0];
    for (; *rates != 0; ++rates) {
        if (*rates == wanted) return wanted;
        if (*rates == 48000) fallback = 48000;
    }
    return fallback;
}

AacWriter::AacWriter(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader, AudioTrackCodec kind) {
    ffmpeg::routeLogging();
    const AVCodec* codec = findEncoder(kind);
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
    check(avcodec_open2(codec_.get(), codec, nullptr),
          kind == AudioTrackCodec::mp3 ? "cannot open the audio encoder" : "cannot open the AAC encoder");

    frame_->format = codec_->sample_fmt;
    frame_->sample_rate = sampleRate;
    frame_->nb_samples = codec_->frame_size;
    check(av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout), "cannot set the channel layout");
    check(av_frame_get_buffer(frame_.get(), 0), "cannot allocate an audio frame");
}

AacWriter::AacWriter(AVFormatContext& output, int sampleRate, int channels, std::int64_t bitRate, AudioTrackCodec codec)
    : AacWriter(sampleRate, channels, bitRate, (output.oformat->flags & AVFMT_GLOBALHEADER) != 0, codec) {
    stream_ = avformat_new_stream(&output, nullptr);
    if (!stream_) throw std::bad_alloc();
    stream_->time_base = codec_->time_base;
    check(avcodec_parameters_from_context(stream_->codecpar, codec_.get()), "cannot describe the audio track");
}

void AacWriter::push(const float* interleaved, std::size_t frames, const PacketSink& sink) {
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

void AacWriter::pushConverted(const float* interleaved, int frames, int channels, int sampleRate,
                              const PacketSink& sink) {
    if (frames <= 0) return;
    if (channels == this->channels() && sampleRate == this->sampleRate()) {
        push(interleaved, static_cast<std::size_t>(frames), sink);
        return;
    }
    if (!resampler_ || resamplerRate_ != sampleRate || resamplerChannels_ != channels) {
        AVChannelLayout inLayout{};
        av_channel_layout_default(&inLayout, channels);
        SwrContext* raw = nullptr;
        check(swr_alloc_set_opts2(&raw, &codec_->ch_layout, AV_SAMPLE_FMT_FLT, this->sampleRate(), &inLayout,
                                  AV_SAMPLE_FMT_FLT, sampleRate, 0, nullptr),
              "cannot set up the audio converter");
        resampler_.reset(raw);
        check(swr_init(resampler_.get()), "cannot set up the audio converter");
        resamplerRate_ = sampleRate;
        resamplerChannels_ = channels;
    }
    const int capacity = std::max(swr_get_out_samples(resampler_.get(), frames), 1);
    converted_.resize(static_cast<std::size_t>(capacity) * static_cast<std::size_t>(this->channels()));
    auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
    const auto* in = reinterpret_cast<const std::uint8_t*>(interleaved);
    const int count = swr_convert(resampler_.get(), &out, capacity, &in, frames);
    check(count, "cannot convert the audio");
    if (count > 0) push(converted_.data(), static_cast<std::size_t>(count), sink);
}

void AacWriter::finish(const PacketSink& sink) {
    const auto ch = static_cast<std::size_t>(channels());
    if (!pending_.empty()) encodeFrame(pending_.data(), static_cast<int>(pending_.size() / ch), sink);
    pending_.clear();
    check(avcodec_send_frame(codec_.get(), nullptr), "cannot finish the AAC stream");
    drain(sink);
}

void AacWriter::encodeFrame(const float* interleaved, int frames, const PacketSink& sink) {
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

void AacWriter::drain(const PacketSink& sink) {
    while (true) {
        const int status = avcodec_receive_packet(codec_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        check(status, "cannot encode audio");
        if (stream_) {
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
        }
        sink(*packet_);
        av_packet_unref(packet_.get());
    }
}

}  // namespace orvane
