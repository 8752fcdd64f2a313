#include "editor/caption_generation.h"

#include <exception>
#include <string>

#include "editor/editor_state.h"

namespace orvane {

namespace {

struct Outcome {
    std::vector<CaptionSegment> segments;
    std::optional<std::string> failure;
};

void finish(EditorState& editor, Outcome outcome, ToastCenter& toasts) {
    if (outcome.failure) {
        editor.modify([](EditorValues& v) { v.isGeneratingCaptions = false; });
        toasts.post(ToastLevel::error, "Couldn't generate captions", *outcome.failure);
        return;
    }
    const auto count = outcome.segments.size();
    editor.modify([&](EditorValues& v) {
        v.edit.captions.captions = std::move(outcome.segments);
        v.edit.captions.showCaptions = count > 0;
        v.isGeneratingCaptions = false;
    });
    if (count > 0) {
        toasts.post(ToastLevel::success, "Captions generated",
                    std::to_string(count) + " caption segment" + (count == 1 ? "" : "s") + " ready.");
    } else {
        toasts.post(ToastLevel::warning, "No captions found",
                    "Speech recognition finished but did not find words in this recording.");
    }
}

}  // namespace

void generateCaptions(const std::shared_ptr<EditorState>& editor, CaptionRecognizer recognize, Executor& background,
                      Executor& main, ToastCenter& toasts) {
    if (!editor || editor->values().isGeneratingCaptions) return;
    editor->modify([](EditorValues& v) { v.isGeneratingCaptions = true; });

    std::weak_ptr<EditorState> weakEditor = editor;
    background.post([weakEditor, recognize = std::move(recognize), &main, &toasts] {
        Outcome outcome;
        try {
            outcome.segments = recognize();
        } catch (const std::exception& e) {
            outcome.failure = e.what();
        } catch (...) {
            outcome.failure = "Speech recognition failed.";
        }
        main.post([weakEditor, outcome = std::move(outcome), &toasts]() mutable {
            if (auto alive = weakEditor.lock()) finish(*alive, std::move(outcome), toasts);
        });
    });
}

}  // namespace orvane
