#include <gtest/gtest.h>

#include "base/manual_executor.h"
#include "editor/caption_generation.h"
#include "editor/editor_state.h"

namespace orvane {
namespace {

CaptionSegment segment(double start, double end, std::string text) {
    CaptionSegment s;
    s.start = start;
    s.end = end;
    s.text = std::move(text);
    return s;
}

class CaptionGenerationTest : public ::testing::Test {
protected:
    void generate(CaptionRecognizer recognize) {
        generateCaptions(editor, std::move(recognize), background, main, toasts);
    }
    void runAll() {
        background.runPending();
        main.runPending();
    }

    ManualExecutor main;
    ManualExecutor background;
    ToastCenter toasts{main};
    std::shared_ptr<EditorState> editor = std::make_shared<EditorState>(Uuid::random(), "/rec/screen.mp4");
};

TEST_F(CaptionGenerationTest, SegmentsReplaceCaptionsAndAreCountedInTheToast) {
    int runs = 0;
    generate([&] {
        ++runs;
        return std::vector{segment(0, 1, "hello there")};
    });
    EXPECT_TRUE(editor->values().isGeneratingCaptions);
    generate([&] {  // a second request while the first runs is ignored
        ++runs;
        return std::vector<CaptionSegment>{};
    });
    runAll();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(editor->values().isGeneratingCaptions);
    ASSERT_EQ(editor->values().edit.captions.captions.size(), 1u);
    EXPECT_TRUE(editor->values().edit.captions.showCaptions);
    ASSERT_EQ(toasts.toasts().size(), 1u);
    EXPECT_EQ(toasts.toasts()[0].title, "Captions generated");
    EXPECT_EQ(toasts.toasts()[0].detail, "1 caption segment ready.");

    generate([] { return std::vector{segment(0, 1, "a"), segment(1, 2, "b")}; });
    runAll();
    EXPECT_EQ(toasts.toasts().back().detail, "2 caption segments ready.");
}

TEST_F(CaptionGenerationTest, NoWordsAndFailuresAreReportedAndAClosedEditorIsLeftAlone) {
    editor->modify([](EditorValues& v) { v.edit.captions.captions = {segment(0, 1, "old")}; });
    generate([] { return std::vector<CaptionSegment>{}; });
    runAll();
    EXPECT_TRUE(editor->values().edit.captions.captions.empty());
    EXPECT_FALSE(editor->values().edit.captions.showCaptions);
    EXPECT_EQ(toasts.toasts().back().level, ToastLevel::warning);
    EXPECT_EQ(toasts.toasts().back().title, "No captions found");
    EXPECT_EQ(toasts.toasts().back().detail, "Speech recognition finished but did not find words in this recording.");

    editor->modify([](EditorValues& v) { v.edit.captions.captions = {segment(0, 1, "kept")}; });
    generate([]() -> std::vector<CaptionSegment> { throw std::runtime_error("The recording has no audio."); });
    runAll();
    EXPECT_FALSE(editor->values().isGeneratingCaptions);
    EXPECT_EQ(editor->values().edit.captions.captions.size(), 1u);  // a failure keeps what was there
    EXPECT_EQ(toasts.toasts().back().level, ToastLevel::error);
    EXPECT_EQ(toasts.toasts().back().title, "Couldn't generate captions");
    EXPECT_EQ(toasts.toasts().back().detail, "The recording has no audio.");

    // An editor closed while recognition runs is left alone.
    const auto shown = toasts.toasts().size();
    generate([] { return std::vector{segment(0, 1, "late")}; });
    background.runPending();
    editor.reset();
    main.runPending();
    EXPECT_EQ(toasts.toasts().size(), shown);
}

}  // namespace
}  // namespace orvane
