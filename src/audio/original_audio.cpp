#include "audio/original_audio.h"

#include <cmath>

#include "audio/audio_mix_exporter.h"
#include "audio/video_copy_mux.h"

namespace orvane {

void passOriginalAudio(const std::filesystem::path& renderedVideo, const std::filesystem::path& recording,
                       const std::filesystem::path& output, double recordingStart) {
    try {
        auto input = ffmpeg::openInput(recording.string());
        if (!input) throw AudioMixError("Couldn't open the recording " + recording.string());
        const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index < 0) throw AudioMixError("The recording " + recording.string() + " has no audio");
        AVStream* stream = input->streams[index];
        const AVRational timeBase = stream->time_base;
        const std::int64_t origin = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
        const auto offset =
            origin + static_cast<std::int64_t>(std::llround(std::max(recordingStart, 0.0) / av_q2d(timeBase)));
        if (recordingStart > 0) av_seek_frame(input.get(), index, offset, AVSEEK_FLAG_BACKWARD);

        VideoCopyMux mux(renderedVideo, output);
        mux.addAudioStream(*stream->codecpar, timeBase);
        const double end = mux.videoDuration();
        ffmpeg::Packet packet(av_packet_alloc());
        if (!packet) throw std::bad_alloc();
        bool pending = false;  // `packet` holds the next audio packet, not yet written
        bool finished = false;
        mux.run([&](double until) {
            while (!finished) {
                if (!pending) {
                    const int status = av_read_frame(input.get(), packet.get());
                    if (status < 0) {
                        finished = true;
                        break;
                    }
                    if (packet->stream_index != index || packet->pts == AV_NOPTS_VALUE || packet->pts < offset) {
                        av_packet_unref(packet.get());
                        continue;
                    }
                    pending = true;
                }
                const double at = static_cast<double>(packet->pts - offset) * av_q2d(timeBase);
                if (end > 0 && at >= end) {
                    finished = true;
                    break;
                }
                if (at > until + 0.5) break;
                packet->pts -= offset;
                if (packet->dts != AV_NOPTS_VALUE) packet->dts -= offset;
                mux.writeAudio(*packet, timeBase);
                av_packet_unref(packet.get());
                pending = false;
            }
        });
    } catch (const AudioMixError&) {
        throw;
    } catch (const std::exception& error) {
        throw AudioMixError(error.what());
    }
}

}  // namespace orvane
