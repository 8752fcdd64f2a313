#include "decoded_audio.h"

#include <cmath>

#include "media/ffmpeg_handles.h"

namespace orvane::testing {

std::optional<DecodedAudio> decodeAudioFile(const std::filesystem::path& file) {
    auto input = ffmpeg::openInput(file.string());
    if (!input) return std::nullopt;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return std::nullopt;
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    ffmpeg::CodecContext decoder(avcodec_alloc_context3(codec));
    if (avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0) return std::nullopt;
    decoder->request_sample_fmt = AV_SAMPLE_FMT_FLTP;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return std::nullopt;

    DecodedAudio result;
    result.codec = avcodec_get_name(stream->codecpar->codec_id);
    result.sampleRate = stream->codecpar->sample_rate;
    result.channels = stream->codecpar->ch_layout.nb_channels;
    double sum = 0;
    std::int64_t count = 0;
    ffmpeg::Packet packet(av_packet_alloc());
    ffmpeg::Frame frame(av_frame_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            if (frame->format != AV_SAMPLE_FMT_FLTP) return false;
            for (int c = 0; c < frame->ch_layout.nb_channels; ++c) {
                const auto* plane = reinterpret_cast<const float*>(frame->data[c]);
                for (int i = 0; i < frame->nb_samples; ++i) sum += double(plane[i]) * plane[i];
                count += frame->nb_samples;
            }
            result.frames += frame->nb_samples;
        }
        return true;
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (!receive()) return std::nullopt;
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (!receive()) return std::nullopt;
    result.rms = count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0;
    return result;
}

std::string videoCodecOf(const std::filesystem::path& file) {
    auto input = ffmpeg::openInput(file.string());
    if (!input) return {};
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) return {};
    return avcodec_get_name(input->streams[index]->codecpar->codec_id);
}

}  // namespace orvane::testing
