#include "render/scene_snapshot.h"

#include <utility>

#include "editor/auto_zoom_cinematic.h"
#include "editor/editor_state.h"
#include "editor/zoom_camera.h"

namespace orvane {

bool isSet(const std::optional<Rect>& rect) { return rect && rect->width > 0 && rect->height > 0; }

SceneRenderSnapshot makeSceneRenderSnapshot(const EditorValues& v, SceneSnapshotSources sources) {
    SceneRenderSnapshot s;
    s.videoURL = v.videoURL;
    s.clipBaseDirectory = std::move(sources.clipBaseDirectory);
    s.clips = v.clips;
    s.trimStart = v.trimStart;
    s.trimEnd = v.trimEnd;
    s.background = v.background;
    s.customBackgroundURL = v.customBackgroundURL;
    s.inset = v.inset;
    s.cornerRadius = v.cornerRadius;
    s.recordingFrame = v.recordingFrame;
    s.showWindowChrome = v.showWindowChrome;
    s.chromeStyle = v.chromeStyle;
    s.windowTitle = v.windowTitle;
    s.videoSize = v.videoSize;
    s.zoomRegions = v.zoomRegions;
    s.automaticZoomsSuppressed = v.automaticZoomsSuppressed;
    s.annotations = v.annotations;
    s.showAnnotations = v.showAnnotations;
    s.cursorSamples = std::move(sources.cursorSamples);
    s.cursorTrackURL = std::move(sources.cursorTrackURL);
    s.showCursorRing = v.showCursorRing;
    s.drawsSyntheticCursor = sources.drawsSyntheticCursor;
    s.cursorRingStyleName = cursorRingStyleName(v.cursorRingStyle);
    s.cursorRingColor = {v.cursorRingStyle.red, v.cursorRingStyle.green, v.cursorRingStyle.blue,
                         v.cursorRingStyle.opacity};
    s.cursorRingSize = v.cursorRingStyle.size;
    s.cursorVisualStyle = v.cursorVisualStyle;
    s.cursorClickAnimationStyle = v.cursorClickAnimationStyle;
    s.cursorIconSymbol = v.cursorIconSymbol;
    s.cursorInteractions = v.cursorInteractions;
    s.cameraSamples = std::move(sources.cameraSamples);
    s.originalAudioVolume = v.originalAudioVolume;
    s.muteRegions = v.muteRegions;
    s.voiceClips = v.voiceClips;
    s.videoOverlays = v.videoOverlays;
    s.captions = v.captions;
    s.showCaptions = v.showCaptions;
    s.aiVoiceoverURL = std::move(sources.aiVoiceoverURL);
    s.backgroundMusicURL = v.backgroundMusicURL;
    s.backgroundMusicVolume = v.backgroundMusicVolume;
    s.cropRect = v.cropRect;
    s.zoomReactiveFaceCam = v.zoomReactiveFaceCam;
    s.zoomReactiveFaceCamScale = v.zoomReactiveFaceCamScale;
    s.cursorStyleOverrides = v.cursorStyleOverrides;
    s.cursorMotionBlur = v.cursorMotionBlur;
    s.speedRamps = v.speedRamps;
    s.cursorClickSounds = v.cursorClickSounds;
    s.cursorClickSoundVolume = v.cursorClickSoundVolume;
    return s;
}

SceneRenderSnapshot makeSceneRenderSnapshot(const EditorState& state,
                                            std::optional<std::filesystem::path> aiVoiceoverURL) {
    const EditorValues& v = state.values();
    CameraInputs inputs;
    inputs.zoomRegions = v.zoomRegions;
    if (state.cursorTrack) inputs.cursorTrack = state.cursorTrack->points;
    inputs.clips = v.clips;
    inputs.cameraSmoothing = v.cameraSmoothing;
    inputs.cinematicTracker = state.cinematicTracker.get();

    SceneSnapshotSources sources;
    sources.clipBaseDirectory = v.videoURL.parent_path();
    sources.cursorTrackURL = state.cursorTrackURL;
    sources.aiVoiceoverURL = std::move(aiVoiceoverURL);
    sources.drawsSyntheticCursor = state.drawsSyntheticCursor;
    sources.cameraSamples = cameraSamples(inputs, v.trimStart, v.trimEnd);
    sources.cursorSamples = cursorSamples(inputs, v.trimStart, v.trimEnd);
    return makeSceneRenderSnapshot(v, std::move(sources));
}

}  // namespace orvane
