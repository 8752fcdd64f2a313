#include "audio/audio_mix_exporter.h"

#include <algorithm>
#include <cmath>

#include "audio/mix_render.h"
#include "audio/video_copy_mux.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/aac_writer.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

namespace {

// Ten seconds of mix at a time: about 4 MB of samples however long the export is.
constexpr std::size_t kWindowFrames = 10 * kMixSampleRate;

}  // namespace

void AudioMixExporter::mix(const std::filesystem::path& renderedVideo, const SceneRenderSnapshot& snapshot,
                           const std::filesystem::path& output, std::stop_token stop) {
    try {
        const MixRenderer renderer(snapshot);
        VideoCopyMux mux(renderedVideo, output);
        AacWriter encoder(kMixSampleRate, kMixChannels, kBitRate, mux.wantsGlobalHeader());
        AVCodecParameters* parameters = avcodec_parameters_alloc();
        if (!parameters) throw std::bad_alloc();
        const int described = avcodec_parameters_from_context(parameters, &encoder.context());
        if (described >= 0) mux.addAudioStream(*parameters, AVRational{1, kMixSampleRate});
        avcodec_parameters_free(&parameters);
        if (described < 0) throw std::runtime_error("Couldn't describe the mixed audio");

        const AVRational timeBase{1, kMixSampleRate};
        const auto sink = [&](AVPacket& packet) { mux.writeAudio(packet, timeBase); };
        std::size_t written = 0;  // frames handed to the encoder
        mux.run([&](double until) {
            if (stop.stop_requested()) throw std::runtime_error("The audio mix was cancelled");
            // Keep the audio a little ahead of the video it is interleaved with, one window at a time.
            const double ahead = until + 0.5;
            while (written < renderer.totalFrames() && static_cast<double>(written) / kMixSampleRate < ahead) {
                const auto window = renderer.render(written, kWindowFrames, stop);
                encoder.push(window.samples.data(), window.frames(), sink);
                written += window.frames();
            }
            if (std::isinf(until)) encoder.finish(sink);
        });
    } catch (const AudioMixError&) {
        throw;
    } catch (const std::exception& error) {
        log::warning(log_area::kAudio, "built-in audio mix failed: %s", error.what());
        throw AudioMixError(error.what());
    }
}

}  // namespace orvane
