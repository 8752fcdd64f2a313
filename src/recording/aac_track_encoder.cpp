#include "recording/aac_track_encoder.h"

#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "media/ffmpeg_handles.h"

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string(what) + ": " + ffmpeg::errorText(status));
}

}  // namespace

struct AacTrackEncoder::Impl {
    ffmpeg::CodecContext codec;
    ffmpeg::Frame frame;
    ffmpeg::Packet packet;
    int channels = 1;
    int frameSize = 1024;
    std::vector<float> pending;  // interleaved samples not yet encoded
    std::int64_t nextPts = 0;
};

AacTrackEncoder::AacTrackEncoder(int sampleRate, int channels, std::int64_t bitRate, bool globalHeader)
    : impl_(std::make_unique<Impl>()) {
    ffmpeg::routeLogging();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) throw std::runtime_error("the AAC encoder is not available");
    impl_->codec.reset(avcodec_alloc_context3(codec));
    if (!impl_->codec) throw std::runtime_error("out of memory");
    AVCodecContext* context = impl_->codec.get();
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = sampleRate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = bitRate;
    context->time_base = AVRational{1, sampleRate};
    if (globalHeader) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(context, codec, nullptr), "cannot open the AAC encoder");

    impl_->channels = channels;
    impl_->frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    impl_->frame.reset(av_frame_alloc());
    impl_->packet.reset(av_packet_alloc());
    if (!impl_->frame || !impl_->packet) throw std::runtime_error("out of memory");
    AVFrame* frame = impl_->frame.get();
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = sampleRate;
    frame->nb_samples = impl_->frameSize;
    check(av_channel_layout_copy(&frame->ch_layout, &context->ch_layout), "cannot set the channel layout");
    check(av_frame_get_buffer(frame, 0), "cannot allocate an audio frame");
}

AacTrackEncoder::~AacTrackEncoder() = default;

AVCodecContext* AacTrackEncoder::context() const { return impl_->codec.get(); }

void AacTrackEncoder::push(const float* interleaved, int frames, const PacketSink& sink) {
    if (frames <= 0) return;
    impl_->pending.insert(impl_->pending.end(), interleaved, interleaved + static_cast<std::size_t>(frames) * impl_->channels);
    framesPushed_ += frames;
    encodePending(false, sink);
}

void AacTrackEncoder::flush(const PacketSink& sink) {
    encodePending(true, sink);
    check(avcodec_send_frame(impl_->codec.get(), nullptr), "cannot flush the AAC encoder");
    drain(sink);
}

void AacTrackEncoder::encodePending(bool final, const PacketSink& sink) {
    const std::size_t frameSamples = static_cast<std::size_t>(impl_->frameSize) * impl_->channels;
    std::size_t offset = 0;
    while (impl_->pending.size() - offset >= frameSamples || (final && impl_->pending.size() > offset)) {
        const std::size_t available = std::min(frameSamples, impl_->pending.size() - offset);
        const int frames = static_cast<int>(available / impl_->channels);
        AVFrame* frame = impl_->frame.get();
        check(av_frame_make_writable(frame), "cannot reuse the audio frame");
        for (int channel = 0; channel < impl_->channels; ++channel) {
            auto* plane = reinterpret_cast<float*>(frame->data[channel]);
            for (int i = 0; i < impl_->frameSize; ++i) {
                plane[i] = i < frames ? impl_->pending[offset + static_cast<std::size_t>(i) * impl_->channels + channel]
                                      : 0.0f;
            }
        }
        frame->pts = impl_->nextPts;
        impl_->nextPts += impl_->frameSize;
        offset += available;
        check(avcodec_send_frame(impl_->codec.get(), frame), "cannot encode audio");
        drain(sink);
    }
    impl_->pending.erase(impl_->pending.begin(), impl_->pending.begin() + static_cast<std::ptrdiff_t>(offset));
}

void AacTrackEncoder::drain(const PacketSink& sink) {
    for (;;) {
        const int status = avcodec_receive_packet(impl_->codec.get(), impl_->packet.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
        check(status, "cannot encode audio");
        sink(impl_->packet.get());
        av_packet_unref(impl_->packet.get());
    }
}

}  // namespace orvane
