#pragma once

#include <filesystem>
#include <span>

#include "base/uuid.h"
#include "model/clip.h"

namespace orvane {

// What an editor save knows about the edit.
struct CompositionSaveInput {
    Uuid recordingID;
    std::span<const Clip> clips;
    std::filesystem::path screenVideo;  // only its file name is stored
    double duration = 0;                // the editor's duration
    double trimStart = 0;
    double trimEnd = 0;
    std::filesystem::path recordingFolder;
};

// Runs after the sidecar has been written. With `enabled` off (the unified-layer-model preference)
// it does nothing at all. With it on it builds and resolves the document, runs and logs the audit,
// then writes composition.json. It never throws: the sidecar save has already happened and must not
// be failed by this, so a write failure is logged and dropped. Answers whether the file was written.
bool saveCompositionIfEnabled(bool enabled, const CompositionSaveInput& input) noexcept;

}  // namespace orvane
