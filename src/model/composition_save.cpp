#include "model/composition_save.h"

#include <exception>

#include "base/log.h"
#include "base/log_areas.h"
#include "model/composition_audit.h"
#include "model/composition_json.h"
#include "model/composition_resolver.h"

namespace orvane {

bool saveCompositionIfEnabled(bool enabled, const CompositionSaveInput& input) noexcept {
    if (!enabled) return false;
    try {
        const auto document = buildCompositionDocument(input.recordingID, input.clips, input.screenVideo,
                                                       input.duration, input.trimStart, input.trimEnd);
        const auto resolved = resolveComposition(document);
        const auto discrepancies = CompositionAudit::run(input.clips, resolved.firstLayer(LayerKind::screen),
                                                         CompositionAudit::kSaveSampleCount, resolved.duration);
        CompositionAudit::log(input.recordingID.string(), input.clips.size(), resolved.duration, discrepancies);
        writeCompositionDocument(document, input.recordingFolder);
        return true;
    } catch (const std::exception& error) {
        log::warning(log_area::kComposition, "composition.json not written (recording=%s): %s",
                     input.recordingID.string().c_str(), error.what());
    } catch (...) {
        log::warning(log_area::kComposition, "composition.json not written (recording=%s): unknown error",
                     input.recordingID.string().c_str());
    }
    return false;
}

}  // namespace orvane
