#pragma once

namespace orvane {

// The user's settings the editor follows, as the front end read them when it opened the edit.
struct EditorSettings {
    bool autoZoomOnClicks = true;
    bool autoZoomCinematic = false;
    // Frames, exports and the sidecar go by the layer model (composition.json) instead of the clip list.
    bool unifiedLayerModel = false;
};

}  // namespace orvane
