#pragma once

// Caption generation as a background task of the editor: what the editor's generateCaptions()
// runs, cancellable and with progress for the task tray.

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "editor/caption_generation.h"
#include "speech/auto_captioner.h"

namespace orvane {

class EditorState;

// One caption run as the user sees it in the task tray: how far it is and a way to stop it. Shared
// between the main loop (which reads and cancels) and the background thread (which reports).
class CaptionTask {
public:
    // `onProgress` is called on the background thread with each new fraction; post to the main
    // loop from it.
    explicit CaptionTask(std::function<void(double)> onProgress = {}) : onProgress_(std::move(onProgress)) {}

    void cancel() { stop_.request_stop(); }
    bool cancelled() const { return stop_.stop_requested(); }
    double progress() const { return progress_.load(); }

    // What the run reads: the stop token and a progress sink that records into this task.
    CaptionRunControl control();

private:
    std::stop_source stop_;
    std::atomic<double> progress_{0};
    std::function<void(double)> onProgress_;
};

// What generateCaptions() runs for the open edit: captions for the edit's audio, falling back to
// the screen video's own audio when the edit has none, saved as captions.json beside the screen
// video. The edit is copied now, on the main loop; the returned function touches only the copy.
// Cancelling the task makes the run fail with RecognitionCancelled.
CaptionRecognizer makeCaptionRecognizer(const EditorState& editor, CaptionServices services,
                                        std::shared_ptr<CaptionTask> task, std::string locale = currentLocaleName());

}  // namespace orvane
