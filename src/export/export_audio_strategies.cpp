#include "export/export_audio_strategies.h"

#include <stdexcept>

#include "audio/audio_mix_exporter.h"
#include "audio/ffmpeg_mix.h"
#include "audio/original_audio.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

AudioStrategy builtInMix() {
    AudioStrategy strategy{"MP4 exported with mixed audio",
                           "Composition audio mix was silent",
                           "Native audio mix failed; trying fallback",
                           true,
                           {}};
    strategy.run = [](const fs::path& silentVideo, const SceneRenderSnapshot& snapshot, const fs::path& folder,
                      std::stop_token stop) {
        const auto output = folder / "composition-mixed.mp4";
        AudioMixExporter().mix(silentVideo, snapshot, output, stop);
        return output;
    };
    return strategy;
}

AudioStrategy ffmpegMix(ToolLocator tools) {
    AudioStrategy strategy{"MP4 exported with composed audio",
                           "Timeline audio fallback was silent",
                           "Timeline audio fallback failed",
                           false,
                           {}};
    strategy.run = [tools](const fs::path& silentVideo, const SceneRenderSnapshot& snapshot, const fs::path& folder,
                           std::stop_token stop) {
        const auto ffmpeg = tools ? tools("ffmpeg") : std::nullopt;
        if (!ffmpeg) throw std::runtime_error("ffmpeg is not installed");
        const auto output = folder / "ffmpeg-mixed.mp4";
        const auto command = ffmpegMixCommand(snapshot, silentVideo, output);
        if (command.arguments.empty()) throw std::runtime_error("no input with audio to mix");
        FFmpegTool::run(*ffmpeg, command.arguments, stop);
        return output;
    };
    return strategy;
}

// Only an edit that plays the recording straight through (one clip, no head gap, no ramps) keeps
// its picture in step with the recording's own sound; mutes and added audio are lost here.
AudioStrategy originalAudio() {
    AudioStrategy strategy{"MP4 exported with original audio",
                           "Original audio passthrough failed; retrying",
                           "Original audio passthrough failed; retrying",
                           false,
                           {}};
    strategy.run = [](const fs::path& silentVideo, const SceneRenderSnapshot& snapshot, const fs::path& folder,
                      std::stop_token) {
        if (snapshot.edit.timeline.clips.size() != 1 || snapshot.edit.timeline.clips.front().headOffset != 0 ||
            !snapshot.edit.timeline.speedRamps.empty()) {
            throw std::runtime_error("the edit is cut or retimed, so the recording's own sound would drift");
        }
        const auto& clip = snapshot.edit.timeline.clips.front();
        const fs::path recording =
            clip.sourceFile.empty() ? snapshot.videoPath : snapshot.clipBaseDirectory / clip.sourceFile;
        const auto output = folder / "original-audio.mp4";
        passOriginalAudio(silentVideo, recording, output, clip.sourceStart + snapshot.edit.timeline.trimStart);
        return output;
    };
    return strategy;
}

}  // namespace

std::vector<AudioStrategy> exportAudioStrategies(ToolLocator tools) {
    return {builtInMix(), ffmpegMix(std::move(tools)), originalAudio()};
}

}  // namespace orvane
