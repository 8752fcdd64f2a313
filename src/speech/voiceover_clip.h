#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "model/audio_clip.h"

namespace orvane {

class EditorState;

// A voiceover file could not be put on the timeline; what() says why. The edit is unchanged.
class VoiceoverPlacementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The label of a clip recorded from the microphone, and of a synthesised one.
inline constexpr std::string_view kRecordedVoiceLabel = "My Voice";
inline constexpr std::string_view kGeneratedVoiceLabel = "Voiceover";

// Copies `file` into `recordingFolder` as voiceover-<UUID>.<ext> (the edit then refers to a file
// that stays with the recording, while `file` may be a temporary) and adds it as an audio clip
// starting at output time `outputTime` (mapped through the trim window and speed ramps), as one
// undoable step. Throws VoiceoverPlacementError when the file has no playable audio or cannot be
// copied; nothing is added then and no copy is left behind.
AudioClip placeVoiceoverClip(EditorState& editor, const std::filesystem::path& recordingFolder,
                             const std::filesystem::path& file, double outputTime, const std::string& label,
                             std::optional<std::string> script = std::nullopt);

}  // namespace orvane
