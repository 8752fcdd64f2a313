#pragma once

#include <functional>
#include <memory>

#include "base/executor.h"
#include "editor/editor_autosave.h"
#include "export/export_services.h"

namespace orvane {

// The editor's background pre-render: renders the saved edit through `renderer` (the exporter over
// the segment cache) into a throw-away file on `background`, so that a later export with the same
// settings finds its segments rendered and only joins them. Starting a pre-render stops the one
// still running, whose edit is out of date. `settings` is read when the editor saves.
PreRenderHook makeExportPreRenderHook(Executor& background, std::function<ExportSettings()> settings,
                                      ExportPreset preset, std::shared_ptr<ExportVideoRenderer> renderer);

}  // namespace orvane
