#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/executor.h"
#include "base/iso8601.h"
#include "base/signal.h"
#include "editor/editor_settings.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

class EditorState;

// Writes sidecar.json for the editor's current edit, then composition.json when
// `compositionEnabled`. Does nothing while the duration is 0 (the video is not measured yet).
// Records `lastSavedAt`. A write failure is logged and leaves the previous file in place; its
// reason ("the disk is full") is in `error` when asked. The write holds the recording's edit lock, taken here unless
// `callerHoldsEditLock` (a caller that read the edit under it keeps it until the write is done).
// Answers whether sidecar.json was written.
bool saveEditorProject(EditorState& state, bool compositionEnabled, SystemTime now, bool callerHoldsEditLock = false,
                       std::string* error = nullptr);

// Keeps the render cache warm. Called on the main executor right after a save with the saved edit,
// taken as an export would take it (the same screen track); answers the work to run once the edit
// has been quiet for a while (nothing to skip). The work runs on the main executor and should hand
// heavy rendering to a background queue itself.
using PreRenderHook = std::function<Task(std::shared_ptr<const SceneRenderSnapshot>)>;

// Saves the edit shortly after every change: changes to stored values are merged and debounced,
// and the save then schedules the background pre-render. Lives on the main executor.
class EditorAutosave {
public:
    static constexpr Duration kDebounce = std::chrono::milliseconds(350);
    static constexpr Duration kPreRenderDelay = std::chrono::seconds(4);
    static constexpr Duration kSavingIndicatorDuration = std::chrono::milliseconds(600);

    // `settings`: whether the edit is saved and pre-rendered by the layer model or the clip list.
    EditorAutosave(EditorState& state, Executor& mainExecutor, const EditorSettings& settings,
                   PreRenderHook preRender = {});
    ~EditorAutosave();
    EditorAutosave(const EditorAutosave&) = delete;
    EditorAutosave& operator=(const EditorAutosave&) = delete;

    // Follows a changed setting from the next save on.
    void setSettings(const EditorSettings& settings) { settings_ = settings; }

    // The sidecar on disk could not be read: changes made by loading (such as the measured
    // duration arriving) must not replace it with defaults. The next real edit saves as usual.
    void keepUnreadableSidecar() { holdUntilEdit_ = true; }

    // Saves now (the debounced save calls this). Answers whether sidecar.json was written.
    bool save();
    // Cancels a pending pre-render and schedules a new one for the current state, unless the
    // state suppresses background pre-rendering or no hook was given.
    void scheduleBackgroundPreRender();

    bool savePending() const { return debounce_.has_value(); }

    // Fires after each successful save.
    Signal<> saved;

private:
    void changed(bool persisted, bool fromLoading);

    EditorState& state_;
    Executor& executor_;
    EditorSettings settings_;
    PreRenderHook preRender_;
    bool holdUntilEdit_ = false;
    std::optional<TimerHandle> debounce_;
    std::optional<TimerHandle> preRenderTask_;
    std::optional<TimerHandle> savingIndicator_;
    Subscription subscription_;
};

}  // namespace orvane
