#pragma once

#include <memory>

#include "render/backdrop/caption_render_cache.h"
#include "render/cursor/cursor_canvas.h"
#include "render/scene/compositor.h"

namespace orvane {

// The vector layers of a finished frame: the title bar, the synthetic arrow, the restyled cursor,
// click markers, gesture trails and, when the edit shows them, captions from `captions` (the job's
// cache; frames must then come in increasing time). Null `captions` draws none.
SceneLayerPainters sceneLayerPainters(std::shared_ptr<CaptionRenderCache> captions);

}  // namespace orvane
