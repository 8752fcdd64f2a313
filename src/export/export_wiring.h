#pragma once

// The export controller's real services: the scene exporter over the segment cache, the export
// cache, the audio strategies and the sound check, ffmpeg and the desktop's URL opener.

#include <filesystem>
#include <optional>

#include "base/executor.h"
#include "editor/editor_autosave.h"
#include "export/export_services.h"

namespace orvane {

struct ExportWiringOptions {
    bool useRenderCaches = true;
    // Where the caches live; empty: the user's cache folder.
    std::filesystem::path cacheRoot;
};

ExportServices makeExportServices(const ExportWiringOptions& options = {});

// The editor's background pre-render (see export_prerender.h) through the scene exporter over the
// segment cache, for wherever an editor is opened.
PreRenderHook makeExportPreRenderHook(Executor& background, std::function<ExportSettings()> settings,
                                      ExportPreset preset = ExportPreset::web1080,
                                      const ExportWiringOptions& options = {});

}  // namespace orvane
