#include "editor/editor_autosave.h"

#include <exception>
#include <system_error>

#include "base/atomic_file.h"
#include "base/file_error.h"
#include "base/folder_lock.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "editor/editor_sidecar.h"
#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"
#include "model/composition_save.h"
#include "model/recording_files.h"

namespace orvane {

namespace {

void cancel(std::optional<TimerHandle>& timer) {
    if (timer) timer->cancel();
    timer.reset();
}

}  // namespace

bool saveEditorProject(EditorState& state, bool compositionEnabled, SystemTime now, bool callerHoldsEditLock,
                       std::string* error) {
    const auto& v = state.values();
    if (v.edit.timeline.duration == 0) return false;
    const auto folder = v.videoPath.parent_path();
    const auto file = folder / kSidecarFileName;
    std::optional<FileLock> editLock;
    if (!callerHoldsEditLock) editLock.emplace(folder / kEditLockFileName);
    try {
        // A saved edit that cannot be read is still the user's work: it is kept aside before the
        // new one replaces it.
        std::error_code missing;
        if (std::filesystem::exists(file, missing)) {
            const auto text = readFileContents(file);
            if (!text || !decodeProjectSidecar(*text, folder)) {
                const auto copy = keepCorruptCopy(file);
                log::warning(log_area::kEditor, "kept the unreadable sidecar.json as %s", copy.c_str());
            }
        }
        writeFileAtomically(file, encodeProjectSidecar(makeProjectSidecar(state)));
    } catch (const std::system_error& failure) {
        log::warning(log_area::kEditor, "saving sidecar.json failed: %s", failure.what());
        if (error) *error = fileErrorText(failure.code());
        return false;
    } catch (const std::exception& failure) {
        log::warning(log_area::kEditor, "saving sidecar.json failed: %s", failure.what());
        if (error) *error = failure.what();
        return false;
    }
    state.modify([&](EditorValues& values) { values.lastSavedAt = now; });

    CompositionSaveInput input;
    input.recordingID = state.recordingID();
    input.clips = v.edit.timeline.clips;
    input.screenVideo = v.videoPath;
    input.duration = v.edit.timeline.duration;
    input.trimStart = v.edit.timeline.trimStart;
    input.trimEnd = v.edit.timeline.trimEnd;
    input.recordingFolder = folder;
    saveCompositionIfEnabled(compositionEnabled, input);
    return true;
}

EditorAutosave::EditorAutosave(EditorState& state, Executor& mainExecutor, const EditorSettings& settings,
                               PreRenderHook preRender)
    : state_(state), executor_(mainExecutor), settings_(settings), preRender_(std::move(preRender)) {
    subscription_ = state_.changed.subscribe([this](const EditorChange& change) {
        changed(change.persisted, change.source == ChangeSource::loading);
    });
}

EditorAutosave::~EditorAutosave() {
    subscription_.reset();
    cancel(debounce_);
    cancel(preRenderTask_);
    cancel(savingIndicator_);
}

void EditorAutosave::changed(bool persisted, bool fromLoading) {
    if (!persisted) return;
    if (fromLoading && holdUntilEdit_) return;
    if (!fromLoading) holdUntilEdit_ = false;
    // Each change restarts the wait, so a burst of edits saves once, after its last change.
    cancel(debounce_);
    debounce_ = executor_.postAfter(kDebounce, [this] {
        debounce_.reset();
        save();
    });
}

bool EditorAutosave::save() {
    if (!saveEditorProject(state_, settings_.unifiedLayerModel, executor_.wallNow())) return false;

    state_.modify([](EditorValues& v) { v.isSaving = true; });
    cancel(savingIndicator_);
    savingIndicator_ = executor_.postAfter(kSavingIndicatorDuration, [this] {
        savingIndicator_.reset();
        state_.modify([](EditorValues& v) { v.isSaving = false; });
    });
    saved.emit();
    scheduleBackgroundPreRender();
    return true;
}

void EditorAutosave::scheduleBackgroundPreRender() {
    if (state_.suppressesBackgroundPreRender || !preRender_) return;
    cancel(preRenderTask_);
    // The snapshot is taken now, at save time; only the rendering waits.
    Task work = preRender_(std::make_shared<const SceneRenderSnapshot>(
        makeSceneRenderSnapshot(state_, std::nullopt, screenTrackSource(settings_))));
    if (!work) return;
    preRenderTask_ = executor_.postAfter(kPreRenderDelay, [this, work = std::move(work)] {
        preRenderTask_.reset();
        work();
    });
}

}  // namespace orvane
