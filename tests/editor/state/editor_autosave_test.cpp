#include "editor/editor_autosave.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "base/manual_executor.h"
#include "editor/editor_loading.h"
#include "editor/editor_sidecar.h"
#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"
#include "model/caption_segment.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

class EditorPersistenceTest : public ::testing::Test {
protected:
    TempDir folder;
    EditorSettings settings;
    ManualExecutor executor;
    EditorState state{Uuid::random(), folder / "screen.mp4"};

    std::filesystem::path sidecarFile() const { return folder / "sidecar.json"; }
    bool sidecarExists() const { return std::filesystem::exists(sidecarFile()); }

    // Window titles are stored in the sidecar (the inset, for one, is not).
    void edit(int n) { state.setWindowTitle("Take " + std::to_string(n)); }
};

TEST_F(EditorPersistenceTest, ABurstOfChangesSavesOnce350MillisecondsAfterTheLast) {
    state.setMeasuredDuration(10);
    EditorAutosave autosave(state, executor, settings);
    int saves = 0;
    auto counter = autosave.saved.subscribe([&] { ++saves; });

    for (int i = 0; i < 10; ++i) {
        edit(i + 1);
        executor.advance(30ms);
    }
    // 300 ms in; the last change was 30 ms ago.
    executor.advance(319ms);
    EXPECT_EQ(saves, 0);
    EXPECT_FALSE(sidecarExists());
    executor.advance(1ms);
    EXPECT_EQ(saves, 1);
    ASSERT_TRUE(sidecarExists());
    EXPECT_DOUBLE_EQ(decodeProjectSidecar(readTextFile(sidecarFile()), folder.path())->edit.timeline.duration, 10);
    EXPECT_TRUE(state.values().lastSavedAt);

    // Playhead and selection are not stored and do not save.
    state.seek(4);
    state.select(EditorSelectionKind::recordingFrame);
    executor.advance(1s);
    EXPECT_EQ(saves, 1);

    edit(50);
    executor.advance(350ms);
    EXPECT_EQ(saves, 2);
}

TEST_F(EditorPersistenceTest, SavingIndicatorAndPreRenderFollowTheLastSave) {
    state.setMeasuredDuration(10);
    int snapshots = 0;
    int renders = 0;
    std::string renderedTitle;
    EditorAutosave autosave(state, executor, settings, [&](std::shared_ptr<const SceneRenderSnapshot> saved) -> Task {
        ++snapshots;
        std::string title = saved->edit.frame.windowTitle;  // captured at save time
        return [&, title] {
            ++renders;
            renderedTitle = title;
        };
    });

    edit(1);
    executor.advance(350ms);
    EXPECT_TRUE(state.values().isSaving);
    executor.advance(599ms);
    EXPECT_TRUE(state.values().isSaving);
    executor.advance(1ms);
    EXPECT_FALSE(state.values().isSaving);

    // A second save 1 s after the first replaces the pending pre-render.
    executor.advance(50ms);
    edit(2);
    executor.advance(350ms);
    EXPECT_EQ(snapshots, 2);
    executor.advance(3999ms);  // past the first save's 4 s
    EXPECT_EQ(renders, 0);
    executor.advance(1ms);
    EXPECT_EQ(renders, 1);
    EXPECT_EQ(renderedTitle, "Take 2");

    state.suppressesBackgroundPreRender = true;
    edit(4);
    executor.advance(10s);
    EXPECT_EQ(snapshots, 2);
    EXPECT_EQ(renders, 1);
}

TEST_F(EditorPersistenceTest, NothingIsSavedBeforeTheDurationIsKnownAndCompositionFollowsThePreference) {
    EXPECT_FALSE(saveEditorProject(state, true, executor.wallNow()));
    EXPECT_FALSE(sidecarExists());

    state.setMeasuredDuration(8);
    ASSERT_TRUE(saveEditorProject(state, false, executor.wallNow()));
    EXPECT_FALSE(std::filesystem::exists(folder / "composition.json"));

    settings.unifiedLayerModel = true;
    EditorAutosave autosave(state, executor, settings);
    ASSERT_TRUE(autosave.save());
    EXPECT_TRUE(std::filesystem::exists(folder / "composition.json"));
}

TEST_F(EditorPersistenceTest, LoadingPlacesTheDefaultClipThenSidecarThenCaptions) {
    CaptionSegment caption;
    caption.start = 1;
    caption.end = 2;
    caption.text = "hello there";
    caption.words = {{1, 1.4, "hello"}, {1.5, 2, "there"}};
    writeTextFile(folder / "captions.json", encodeCaptionSegments({caption}));

    auto result = loadEditorProject(state);
    EXPECT_EQ(result.sidecar, SidecarLoadOutcome::absent);
    EXPECT_TRUE(result.captionsLoaded);
    ASSERT_EQ(state.values().edit.timeline.clips.size(), 1u);
    EXPECT_EQ(state.values().edit.timeline.clips[0].sourceFile, "screen.mp4");
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[0].sourceEnd, 0.1);
    EXPECT_EQ(state.values().edit.captions.captions, std::vector<CaptionSegment>{caption});

    // Edit, save, and open again in a fresh editor: the edit comes back.
    state.setMeasuredDuration(10);
    state.modify([](EditorValues& v) { v.edit.timeline.trimStart = 2; });
    state.setWindowTitle("Demo");
    ASSERT_TRUE(saveEditorProject(state, false, executor.wallNow()));

    EditorState reopened(Uuid::random(), folder / "screen.mp4");
    result = loadEditorProject(reopened);
    EXPECT_EQ(result.sidecar, SidecarLoadOutcome::applied);
    EXPECT_DOUBLE_EQ(reopened.values().edit.timeline.trimStart, 2);
    EXPECT_DOUBLE_EQ(reopened.values().edit.timeline.trimEnd, 10);
    EXPECT_EQ(reopened.values().edit.frame.windowTitle, "Demo");
    EXPECT_EQ(reopened.values().edit.timeline.clips[0].sourceEnd, 10);
    // captions.json is read after the sidecar and keeps the words.
    EXPECT_EQ(reopened.values().edit.captions.captions, std::vector<CaptionSegment>{caption});
}

TEST_F(EditorPersistenceTest, ACorruptSidecarIsLeftAloneUntilTheUserEditsAndThenKeptAside) {
    const std::string corrupt = "{\"version\": 1, \"zooms\": [";
    writeTextFile(sidecarFile(), corrupt);
    writeTextFile(folder / "captions.json", "[{\"start\": 1}]");

    const auto defaults = state.values();
    const auto result = loadEditorProject(state);
    EXPECT_EQ(result.sidecar, SidecarLoadOutcome::unreadable);
    EXPECT_FALSE(result.captionsLoaded);
    EXPECT_FALSE(state.values().sidecarApplied);
    EXPECT_EQ(state.values().edit.frame.background, defaults.edit.frame.background);
    EXPECT_TRUE(state.values().edit.captions.captions.empty());

    EditorAutosave autosave(state, executor, settings);
    autosave.keepUnreadableSidecar();
    state.setMeasuredDuration(12);
    executor.advance(5s);
    EXPECT_EQ(readTextFile(sidecarFile()), corrupt);

    state.setBackground(BackgroundStyle::chalk);
    executor.advance(350ms);
    const auto saved = decodeProjectSidecar(readTextFile(sidecarFile()), folder.path());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->edit.frame.background, BackgroundStyle::chalk);
    // The user's unreadable work is kept beside it, and a later one never replaces that copy.
    EXPECT_EQ(readTextFile(folder / "sidecar.json.corrupt"), corrupt);
    writeTextFile(sidecarFile(), "{\"truncated\": ");
    state.setBackground(BackgroundStyle::obsidian);
    executor.advance(350ms);
    EXPECT_EQ(readTextFile(folder / "sidecar.json.corrupt"), corrupt);
    EXPECT_EQ(readTextFile(folder / "sidecar.json.corrupt-2"), "{\"truncated\": ");
    // A readable sidecar is simply replaced.
    state.setBackground(BackgroundStyle::chalk);
    executor.advance(350ms);
    EXPECT_FALSE(std::filesystem::exists(folder / "sidecar.json.corrupt-3"));
}

// The preview plays and scrubs outside the trim, so its scene spans the clips; an export's the trim.
TEST_F(EditorPersistenceTest, APreviewSceneSpansTheWholeLayoutAndAnExportOnlyTheTrim) {
    state.setMeasuredDuration(10);
    state.modify([&](EditorValues& v) {
        v.edit.timeline.clips = {Clip{Uuid::random(), "screen.mp4", 0, 4, 0},
                                 Clip{Uuid::random(), "screen.mp4", 5, 8, 1}};
        v.edit.timeline.trimStart = 1;
        v.edit.timeline.trimEnd = 6;
    });
    const auto exported = makeSceneRenderSnapshot(state);
    const auto preview =
        makeSceneRenderSnapshot(state, std::nullopt, ScreenTrackSource::clipList, SnapshotRange::wholeLayout);
    EXPECT_EQ(exported.edit.timeline.trimStart, 1);
    EXPECT_EQ(exported.edit.timeline.trimEnd, 6);
    EXPECT_EQ(preview.edit.timeline.trimStart, 0);
    EXPECT_EQ(preview.edit.timeline.trimEnd, 8) << "two clips and the gap between them";
    // The camera is sampled at 60 Hz over what each covers, ends included.
    EXPECT_EQ(exported.cameraSamples.size(), 5u * 60 + 1);
    EXPECT_EQ(preview.cameraSamples.size(), 8u * 60 + 1);
    EXPECT_EQ(state.values().edit.timeline.trimEnd, 6) << "the open edit keeps its trim";
}

TEST_F(EditorPersistenceTest, RenderingLaysOutTheScreenTrackTheLayerModelResolvesWhenItIsOn) {
    state.setMeasuredDuration(10);
    // A negative head gap and a reversed clip: the two things the resolved screen layer changes.
    const std::vector<Clip> clips = {Clip{Uuid::random(), "screen.mp4", 1, 4, -0.5},
                                     Clip{Uuid::random(), "screen.mp4", 6, 5, 0.25}};
    state.modify([&](EditorValues& v) { v.edit.timeline.clips = clips; });
    std::vector<Clip> resolved = clips;
    resolved[0].headOffset = 0;
    resolved[1].sourceEnd = 6;

    EXPECT_EQ(makeSceneRenderSnapshot(state).edit.timeline.clips, clips);
    EXPECT_EQ(makeSceneRenderSnapshot(state, std::nullopt, ScreenTrackSource::resolvedScreenLayer).edit.timeline.clips,
              resolved);

    // The pre-render after a save takes the edit as exports and single frames do: by the setting,
    // followed when it changes.
    std::vector<std::vector<Clip>> rendered;
    EditorAutosave autosave(state, executor, settings, [&](std::shared_ptr<const SceneRenderSnapshot> saved) -> Task {
        rendered.push_back(saved->edit.timeline.clips);
        return {};
    });
    EXPECT_EQ(screenTrackSource(settings), ScreenTrackSource::clipList);
    ASSERT_TRUE(autosave.save());
    settings.unifiedLayerModel = true;
    EXPECT_EQ(screenTrackSource(settings), ScreenTrackSource::resolvedScreenLayer);
    autosave.setSettings(settings);
    ASSERT_TRUE(autosave.save());
    ASSERT_EQ(rendered.size(), 2u);
    EXPECT_EQ(rendered[0], clips);
    EXPECT_EQ(rendered[1], resolved);
    // The edit itself keeps what the user made.
    EXPECT_EQ(state.values().edit.timeline.clips, clips);
}

}  // namespace
}  // namespace orvane
