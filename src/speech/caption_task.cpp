#include "speech/caption_task.h"

#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"

namespace orvane {

CaptionRunControl CaptionTask::control() {
    return {stop_.get_token(), [this](double fraction) {
                progress_.store(fraction);
                if (onProgress_) onProgress_(fraction);
            }};
}

CaptionRecognizer makeCaptionRecognizer(const EditorState& editor, CaptionServices services,
                                        std::shared_ptr<CaptionTask> task, std::string locale) {
    const auto& values = editor.values();
    SceneSnapshotSources sources;
    sources.clipBaseDirectory = values.videoPath.parent_path();
    // Only the edit's timeline and audio are read: no camera or cursor paths are sampled.
    auto snapshot = std::make_shared<SceneRenderSnapshot>(makeSceneRenderSnapshot(values, std::move(sources)));
    return [snapshot, services = std::move(services), task = std::move(task), locale = std::move(locale)] {
        const auto control = task->control();
        std::vector<CaptionSegment> segments;
        try {
            segments = AutoCaptioner::captions(*snapshot, locale, services, control);
        } catch (const CaptionError& error) {
            if (error.kind() != CaptionError::Kind::noAudioTrack) throw;
            segments = AutoCaptioner::captions(snapshot->videoPath, locale, services, control);
        }
        AutoCaptioner::saveCaptions(segments, snapshot->videoPath);
        return segments;
    };
}

}  // namespace orvane
