#include "speech/voiceover_clip.h"

#include <cmath>
#include <system_error>

#include "base/uuid.h"
#include "editor/editor_state.h"
#include "media/media_probe.h"
#include "model/time_mapping.h"

namespace orvane {

namespace fs = std::filesystem;

AudioClip placeVoiceoverClip(EditorState& editor, const fs::path& recordingFolder, const fs::path& file,
                             double outputTime, const std::string& label, std::optional<std::string> script) {
    if (!std::isfinite(outputTime) || outputTime < 0) {
        throw VoiceoverPlacementError("The voiceover's start time must be zero or more seconds.");
    }
    const auto duration = playableDuration(file);
    if (!duration || !(*duration > 0)) {
        throw VoiceoverPlacementError("The voiceover file " + file.filename().string() + " has no playable audio.");
    }

    const auto id = Uuid::random();
    const auto target = recordingFolder / ("voiceover-" + id.string() + file.extension().string());
    // Copied under a temporary name and renamed, so a full disk never leaves half a file that the
    // edit points at.
    const auto partial = recordingFolder / ("." + target.filename().string() + ".partial");
    std::error_code error;
    fs::copy_file(file, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw VoiceoverPlacementError("Couldn't copy the voiceover into the recording: " + error.message());
    }

    const auto& timeline = editor.values().edit.timeline;
    AudioClip clip;
    clip.id = id;
    clip.startTime = compositionTimeForOutputTime(outputTime, timeline.trimStart, timeline.speedRamps);
    clip.duration = *duration;
    clip.path = target;
    clip.label = label;
    clip.script = std::move(script);
    if (!editor.addVoiceClip(clip)) {
        std::error_code ignored;
        fs::remove(target, ignored);
        throw VoiceoverPlacementError("The voiceover could not be added to the edit.");
    }
    return clip;
}

}  // namespace orvane
