#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

struct SceneRenderSnapshot;
struct MixPiece;

// The same mix as AudioMixExporter, expressed for the outside `ffmpeg` program (the fallback when
// the built-in mix fails). Input 0 is the rendered video; every piece of planMix() whose file holds
// audio becomes one more input with its own chain
//   [N:a:0]atrim=start=S:duration=L,asetpts=PTS-STARTPTS,volume=G,aresample=48000,
//          aformat=sample_rates=48000:channel_layouts=stereo[,adelay=D|D][aK]
// and the chains meet in "amix=inputs=K:duration=longest:normalize=0,atrim=duration=T[mixout]".
// Times are written with three decimals, gains with four and delays in whole milliseconds, always
// with a '.' whatever the locale. `ffmpeg` cannot change tempo in this form: a piece inside a speed
// ramp plays at normal speed for the time the ramp gives it (cut short when the ramp is faster),
// so everything after it stays in sync. Click sounds are not part of this mix.
struct FFmpegMixCommand {
    std::vector<std::string> arguments;  // everything after the program name
    std::string filterGraph;
    std::vector<std::filesystem::path> inputs;  // the audio inputs, in order (input 1 onward)
};

// The filter graph for pieces that all have audio; `total` is the output duration.
std::string ffmpegMixFilterGraph(const std::vector<MixPiece>& pieces, double total);

// The command for the snapshot's mix of `renderedVideo` into `output` (the export names it
// "ffmpeg-mixed.mp4"; `output` must not exist yet, as ffmpeg is not told to overwrite). Inputs that
// are missing or hold no audio are left out (and logged). Nothing in `arguments` when no input
// with audio is left: there is nothing to mix.
FFmpegMixCommand ffmpegMixCommand(const SceneRenderSnapshot& snapshot, const std::filesystem::path& renderedVideo,
                                  const std::filesystem::path& output);

// Just the argument list of ffmpegMixCommand.
std::vector<std::string> ffmpegMixArguments(const SceneRenderSnapshot& snapshot,
                                            const std::filesystem::path& renderedVideo,
                                            const std::filesystem::path& output);

}  // namespace orvane
