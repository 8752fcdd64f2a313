#include "audio/ffmpeg_mix.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "audio/mix_plan.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "media/media_probe.h"
#include "model/scene_render_snapshot.h"
#include "model/time_mapping.h"

namespace orvane {

namespace {

// Fixed decimals with a '.', independent of the process locale.
std::string fixed(double value, int decimals) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string ffmpegMixFilterGraph(const std::vector<MixPiece>& pieces, double total) {
    std::string graph;
    std::string labels;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto& piece = pieces[i];
        const std::string label = "[a" + std::to_string(i) + "]";
        // Without tempo change a ramped piece keeps its slot on the output clock.
        const double length = std::min(piece.sourceDuration, piece.outputDuration());
        // Appended piece by piece: GCC 12 at -O3 mistakes `"[" + std::string` for an overlapping copy.
        graph += '[';
        graph += std::to_string(i + 1);
        graph += ":a:0]atrim=start=" + fixed(piece.sourceStart, 3) + ":duration=" + fixed(length, 3) +
                 ",asetpts=PTS-STARTPTS,volume=" + fixed(piece.gain, 4) +
                 ",aresample=48000,aformat=sample_rates=48000:channel_layouts=stereo";
        const long long delay = std::llround(piece.outputStart * 1000);
        if (delay > 0) graph += ",adelay=" + std::to_string(delay) + "|" + std::to_string(delay);
        graph += label + ";";
        labels += label;
    }
    return graph + labels + "amix=inputs=" + std::to_string(pieces.size()) +
           ":duration=longest:normalize=0,atrim=duration=" + fixed(total, 3) + "[mixout]";
}

FFmpegMixCommand ffmpegMixCommand(const SceneRenderSnapshot& snapshot, const std::filesystem::path& renderedVideo,
                                  const std::filesystem::path& output) {
    FFmpegMixCommand command;
    std::vector<MixPiece> audible;
    std::map<std::filesystem::path, bool> hasAudio;  // each file probed once
    for (const auto& piece : planMix(snapshot)) {
        auto [known, inserted] = hasAudio.try_emplace(piece.file, false);
        if (inserted) {
            const auto info = probeMedia(piece.file);
            known->second = info && info->hasAudio;
            if (!known->second) {
                log::info(log_area::kAudio, "ffmpeg mix leaves out %s: %s", piece.file.c_str(),
                          info ? "no audio stream" : describe(*info.failure()).data());
            }
        }
        if (known->second) audible.push_back(piece);
    }
    if (audible.empty()) return command;

    command.filterGraph =
        ffmpegMixFilterGraph(audible, outputDuration(snapshot.edit.timeline.trimStart, snapshot.edit.timeline.trimEnd,
                                                     snapshot.edit.timeline.speedRamps));
    command.arguments = {"-i", renderedVideo.string()};
    for (const auto& piece : audible) {
        command.arguments.push_back("-i");
        command.arguments.push_back(piece.file.string());
        command.inputs.push_back(piece.file);
    }
    const std::vector<std::string> rest = {"-filter_complex",
                                           command.filterGraph,
                                           "-map",
                                           "0:v:0",
                                           "-map",
                                           "[mixout]",
                                           "-c:v",
                                           "copy",
                                           "-c:a",
                                           "aac",
                                           "-b:a",
                                           "192k",
                                           "-movflags",
                                           "+faststart",
                                           output.string()};
    command.arguments.insert(command.arguments.end(), rest.begin(), rest.end());
    return command;
}

std::vector<std::string> ffmpegMixArguments(const SceneRenderSnapshot& snapshot,
                                            const std::filesystem::path& renderedVideo,
                                            const std::filesystem::path& output) {
    return ffmpegMixCommand(snapshot, renderedVideo, output).arguments;
}

}  // namespace orvane
