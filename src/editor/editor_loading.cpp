#include "editor/editor_loading.h"

#include <algorithm>
#include <string>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "editor/editor_state.h"
#include "model/caption_segment.h"
#include "model/clip_gap.h"

namespace orvane {

namespace {

std::optional<std::string> readIfPresent(const std::filesystem::path& file) {
    std::error_code ignored;
    if (!std::filesystem::exists(file, ignored)) return std::nullopt;
    return readFileContents(file);
}

}  // namespace

std::optional<ProjectSidecar> loadProjectSidecar(const std::filesystem::path& recordingFolder) {
    const auto text = readIfPresent(recordingFolder / kSidecarFileName);
    if (!text) return std::nullopt;
    return decodeProjectSidecar(*text, recordingFolder);
}

EditorLoadResult loadEditorProject(EditorState& state) {
    const auto folder = state.values().videoPath.parent_path();
    EditorLoadResult result;

    state.modify(
        [](EditorValues& v) {
            Clip clip;
            clip.sourceFile = v.videoPath.filename().string();
            clip.sourceStart = 0;
            clip.sourceEnd = std::max(v.edit.timeline.duration, EditorState::kUnmeasuredClipLength);
            clip.headOffset = 0;
            v.edit.timeline.clips = {std::move(clip)};
        },
        ChangeSource::loading);

    const auto sidecarFile = folder / kSidecarFileName;
    std::error_code ignored;
    if (std::filesystem::exists(sidecarFile, ignored)) {
        std::string problem = "unreadable file";
        std::optional<ProjectSidecar> sidecar;
        if (const auto text = readFileContents(sidecarFile)) sidecar = decodeProjectSidecar(*text, folder, &problem);
        if (sidecar) {
            applyProjectSidecar(*sidecar, state);
            result.sidecar = SidecarLoadOutcome::applied;
            // Before anything samples, renders or mixes the timeline.
            std::size_t shortened = 0;
            state.modify([&](EditorValues& v) { shortened = keepClipGapsWithin(v.edit.timeline.clips); },
                         ChangeSource::loading);
            if (shortened > 0) {
                log::warning(log_area::kEditor, "%zu gap(s) before clips in sidecar.json shortened to %g minutes",
                             shortened, kMaximumClipGap / 60);
            }
        } else {
            result.sidecar = SidecarLoadOutcome::unreadable;
            result.sidecarProblem = problem;
            log::warning(log_area::kEditor, "ignoring sidecar.json: %s", problem.c_str());
        }
    }

    if (const auto text = readIfPresent(folder / kCaptionsFileName)) {
        std::string problem;
        if (auto segments = decodeCaptionSegments(*text, &problem)) {
            state.modify([&](EditorValues& v) { v.edit.captions.captions = std::move(*segments); },
                         ChangeSource::loading);
            result.captionsLoaded = true;
        } else {
            log::info(log_area::kEditor, "ignoring captions.json: %s", problem.c_str());
        }
    }
    return result;
}

}  // namespace orvane
