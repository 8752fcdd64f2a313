#pragma once

#include <vector>

#include "base/uuid.h"
#include "model/audio_enhancement_settings.h"

namespace orvane {

class EditorSession;

// Enhances the voice clips `clipIDs` of the open edit from their originals, so enhancing again never
// stacks, or with `off` puts the originals back; then saves the edit. Answers whether any clip
// changed. Enhanced copies are kept in the recording folder. A copy no clip plays any more is removed
// only after the edit is saved, and new copies are removed again when a later clip fails, so a
// failure leaves the folder as it was. Throws std::runtime_error when enhancing or saving fails.
bool enhanceVoiceClips(EditorSession& session, const std::vector<Uuid>& clipIDs,
                       const AudioEnhancementSettings& settings, bool off);

}  // namespace orvane
