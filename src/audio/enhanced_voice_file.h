#pragma once

#include <filesystem>
#include <optional>

namespace orvane {

// Where an enhanced copy of a voice file is kept for good: in `folder` (the recording folder),
// named after the original with the enhancer's own file name appended,
// "<original name>.zant_enhanced_<UUID>.m4a". The project file stores only the file a clip plays, so
// the name is what lets a later session find the original again to undo the enhancement.
std::filesystem::path keptEnhancedFilePath(const std::filesystem::path& folder, const std::filesystem::path& original,
                                           const std::filesystem::path& enhancerOutput);

// The original a kept enhanced copy was made from (a sibling named by its prefix), or nothing when
// `file` is not named like one. Whether the original still exists is the caller's question.
std::optional<std::filesystem::path> originalOfEnhancedFile(const std::filesystem::path& file);

}  // namespace orvane
