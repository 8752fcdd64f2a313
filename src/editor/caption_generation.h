#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/executor.h"
#include "base/toast_center.h"
#include "model/caption_segment.h"

namespace orvane {

class EditorState;

// Recognises speech in the edit and answers its caption segments; runs on a background executor and
// throws (with a description fit for the user) when recognition fails. It captures what it needs
// from the edit before it is handed over, so it never reads the editor off the main thread.
using CaptionRecognizer = std::function<std::vector<CaptionSegment>()>;

// Generates captions for the edit: nothing while a generation runs; otherwise the recognizer runs
// on `background` and its outcome lands on `main` as new captions and a toast. An editor closed
// meanwhile is left alone.
void generateCaptions(const std::shared_ptr<EditorState>& editor, CaptionRecognizer recognize, Executor& background,
                      Executor& main, ToastCenter& toasts);

}  // namespace orvane
