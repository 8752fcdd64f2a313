#include "editor/editor_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace orvane {
namespace {

AudioClip audio(double start, double duration, double sourceStart = 0) {
    AudioClip clip;
    clip.startTime = start;
    clip.duration = duration;
    clip.sourceStart = sourceStart;
    return clip;
}

VideoOverlayClip overlayAt(double start, double duration) {
    VideoOverlayClip overlay;
    overlay.startTime = start;
    overlay.duration = duration;
    return overlay;
}

// Every command is checked both ways: applied, undone back to the exact earlier snapshot, and
// redone to the exact later one.
class EditorCommandTest : public ::testing::Test {
protected:
    EditorState state{Uuid::random(), "/recordings/A/screen.mp4"};

    // Back-to-back clips of the given lengths over the whole trim window.
    void useClips(std::initializer_list<double> lengths) {
        state.modify([&](EditorValues& v) {
            v.edit.timeline.clips.clear();
            double total = 0;
            for (double length : lengths) {
                v.edit.timeline.clips.push_back(
                    Clip{.sourceFile = "screen.mp4", .sourceStart = total, .sourceEnd = total + length});
                total += length;
            }
            v.edit.timeline.duration = total;
            v.edit.timeline.trimStart = 0;
            v.edit.timeline.trimEnd = total;
        });
    }

    void setPlayhead(double t) {
        state.modify([&](EditorValues& v) { v.currentTime = t; });
    }

    void addZoom(double start, double end) {
        state.modify(
            [&](EditorValues& v) { v.edit.timeline.zoomRegions.push_back(ZoomRegion{.start = start, .end = end}); });
    }

    void expectUndoable(const std::function<bool()>& command, const std::function<void()>& check) {
        const auto before = state.snapshot();
        const auto depth = state.undoStack().size();
        ASSERT_TRUE(command());
        EXPECT_EQ(state.undoStack().size(), depth + 1);
        check();
        const auto after = state.snapshot();
        state.undo();
        EXPECT_EQ(state.snapshot(), before);
        state.redo();
        EXPECT_EQ(state.snapshot(), after);
        check();
    }

    void expectRefused(const std::function<bool()>& command) {
        const auto before = state.values();
        const auto depth = state.undoStack().size();
        EXPECT_FALSE(command());
        EXPECT_EQ(state.values(), before);
        EXPECT_EQ(state.undoStack().size(), depth);
    }
};

TEST_F(EditorCommandTest, UndoRecordsIdenticalStatesOnceAndKeepsTheNewestEightySteps) {
    const auto before = state.values();
    state.undo();
    state.redo();
    EXPECT_EQ(state.values(), before);

    state.pushUndo();
    state.pushUndo();
    EXPECT_EQ(state.undoStack().size(), 1u);
    // The state before this edit is already the last entry.
    state.setBackground(BackgroundStyle::obsidian);
    EXPECT_EQ(state.undoStack().size(), 1u);
    state.setBackground(BackgroundStyle::obsidian);  // no change: no step
    state.setBackground(BackgroundStyle::chalk);
    EXPECT_EQ(state.undoStack().size(), 2u);

    for (int i = 1; i <= 81; ++i) state.setInset(0.01 * i);
    EXPECT_EQ(state.undoStack().size(), EditorState::maxUndoDepth);
    while (state.canUndo()) state.undo();
    // The first edit (0.04 -> 0.01) fell off the stack, so its result stays.
    EXPECT_DOUBLE_EQ(state.values().edit.frame.inset, 0.01);
    EXPECT_EQ(state.redoStack().size(), EditorState::maxUndoDepth);

    state.redo();
    EXPECT_DOUBLE_EQ(state.values().edit.frame.inset, 0.02);
    state.setCornerRadius(4);
    EXPECT_TRUE(state.redoStack().empty());
}

TEST_F(EditorCommandTest, RestoreNormalisesRetiredStylesAndKeepsNewAnnotationsFlags) {
    ClickAnnotation old;
    state.modify([&](EditorValues& v) {
        v.edit.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::brush;
        v.edit.cursor.cursorIconSymbol = "rocket";
        v.edit.cursor.cursorVisualStyle = CursorVisualStyle::pointer;
        v.edit.cursor.showCursorRing = true;
        v.edit.cursor.annotations = {old};
    });
    state.pushUndo();
    ClickAnnotation added;
    added.enabled = false;
    state.modify([&](EditorValues& v) {
        v.edit.cursor.annotations[0].enabled = false;
        v.edit.cursor.annotations.push_back(added);
    });
    state.setWindowTitle("Later");
    state.undo();  // back past the title, to the pushUndo above
    state.undo();

    const auto& v = state.values();
    EXPECT_EQ(v.edit.cursor.cursorClickAnimationStyle, CursorClickAnimationStyle::pulse);
    EXPECT_EQ(v.edit.cursor.cursorIconSymbol, "sparkle");
    EXPECT_FALSE(v.edit.cursor.showCursorRing);  // derived again from the pointer style
    ASSERT_EQ(v.edit.cursor.annotations.size(), 2u);
    EXPECT_TRUE(v.edit.cursor.annotations[0].enabled);
    EXPECT_FALSE(v.edit.cursor.annotations[1].enabled);
    EXPECT_EQ(v.edit.frame.windowTitle, "");
}

TEST_F(EditorCommandTest, SelectionIsExclusiveExceptForSpeedRampsAndModifyNotifiesEffectiveChanges) {
    const Uuid zoom = Uuid::random();
    const Uuid ramp = Uuid::random();
    state.selectSpeedRamp(ramp);
    state.select(EditorSelectionKind::recordingFrame);
    state.select(EditorSelectionKind::zoom, zoom);
    EXPECT_EQ(state.values().selectedZoomID, zoom);
    EXPECT_FALSE(state.values().isRecordingFrameSelected);
    state.select(EditorSelectionKind::overlay, Uuid::random());
    EXPECT_FALSE(state.values().selectedZoomID);
    EXPECT_EQ(state.values().selectedSpeedRampID, ramp);
    EXPECT_TRUE(state.undoStack().empty());

    // modify() notifies once per effective change and flags stored values.
    std::vector<EditorChange> changes;
    auto subscription = state.changed.subscribe([&](const EditorChange& change) { changes.push_back(change); });
    state.modify([](EditorValues& v) { v.currentTime = 3; v.isPlaying = true; });
    state.modify([](EditorValues& v) { v.currentTime = 3; });
    state.modify([](EditorValues& v) { v.edit.timeline.trimEnd = 8; });
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_FALSE(changes[0].persisted);
    EXPECT_TRUE(changes[1].persisted);
}

TEST_F(EditorCommandTest, AddZoomAtPlayheadSizesTheZoomKeepsAGapAndRefusesSlivers) {
    useClips({10});
    setPlayhead(5);
    expectUndoable([&] { return state.addZoomAtPlayhead(); },
                   [&] {
                       ASSERT_EQ(state.values().edit.timeline.zoomRegions.size(), 1u);
                       EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions[0].start, 4.25);
                       EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions[0].end, 5.75);
                       EXPECT_TRUE(state.values().edit.timeline.automaticZoomsSuppressed);
                   });
    EXPECT_EQ(state.values().selectedZoomID, state.values().edit.timeline.zoomRegions[0].id);

    useClips({60});
    state.modify([](EditorValues& v) { v.edit.timeline.zoomRegions.clear(); });
    setPlayhead(0.5);  // start clamps to the trim start
    ASSERT_TRUE(state.addZoomAtPlayhead());
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions[0].start, 0);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions[0].end, 3.0);

    // After overlapping zooms the new one keeps a gap.
    useClips({10});
    state.modify([](EditorValues& v) { v.edit.timeline.zoomRegions.clear(); });
    addZoom(4, 6);
    addZoom(1, 2);
    setPlayhead(5);
    ASSERT_TRUE(state.addZoomAtPlayhead());
    const auto& zooms = state.values().edit.timeline.zoomRegions;
    ASSERT_EQ(zooms.size(), 3u);
    EXPECT_DOUBLE_EQ(zooms[2].start, 6.15);  // sorted by start: the new zoom comes last
    EXPECT_DOUBLE_EQ(zooms[2].end, 7.65);
    EXPECT_DOUBLE_EQ(zooms[0].start, 1);

    // Only 0.3 s remain before the trim end.
    state.modify([](EditorValues& v) {
        v.edit.timeline.zoomRegions.clear();
        v.edit.timeline.trimEnd = 9.0;
    });
    setPlayhead(9.45);
    expectRefused([&] { return state.addZoomAtPlayhead(); });
}

TEST_F(EditorCommandTest, UpdatingAndRemovingZoomsSuppressesAutomaticZooms) {
    useClips({10});
    addZoom(1, 2);
    const Uuid id = state.values().edit.timeline.zoomRegions[0].id;
    state.updateZoom(Uuid::random(), [](ZoomRegion& z) { z.scale = 3; });
    EXPECT_FALSE(state.values().edit.timeline.automaticZoomsSuppressed);
    state.updateZoom(id, [](ZoomRegion& z) { z.scale = 2.5; });
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions[0].scale, 2.5);
    EXPECT_TRUE(state.undoStack().empty());

    state.modify([](EditorValues& v) { v.edit.timeline.automaticZoomsSuppressed = false; });
    expectRefused([&] { return state.removeSelectedZoom(); });
    state.select(EditorSelectionKind::zoom, id);
    expectUndoable([&] { return state.removeSelectedZoom(); },
                   [&] {
                       EXPECT_TRUE(state.values().edit.timeline.zoomRegions.empty());
                       EXPECT_TRUE(state.values().edit.timeline.automaticZoomsSuppressed);
                   });
    EXPECT_FALSE(state.values().selectedZoomID);
}

TEST_F(EditorCommandTest, SplitClipNeedsFiftyMillisecondsOnEachSide) {
    useClips({10});
    state.modify([](EditorValues& v) { v.edit.timeline.clips[0].headOffset = 2; });  // content at 2...12
    const Uuid id = state.values().edit.timeline.clips[0].id;
    expectRefused([&] { return state.splitClip(id, 2.04); });
    expectRefused([&] { return state.splitClip(id, 11.96); });
    expectRefused([&] { return state.splitClip(Uuid::random(), 5); });
    expectUndoable([&] { return state.splitClip(id, 2.06); },
                   [&] {
                       const auto& clips = state.values().edit.timeline.clips;
                       ASSERT_EQ(clips.size(), 2u);
                       EXPECT_EQ(clips[0].id, id);
                       EXPECT_NEAR(clips[0].sourceEnd, 0.06, 1e-12);
                       EXPECT_DOUBLE_EQ(clips[0].headOffset, 2);
                       EXPECT_NEAR(clips[1].sourceStart, 0.06, 1e-12);
                       EXPECT_DOUBLE_EQ(clips[1].sourceEnd, 10);
                       EXPECT_DOUBLE_EQ(clips[1].headOffset, 0);
                       EXPECT_EQ(clips[1].sourceFile, "screen.mp4");
                   });
    EXPECT_EQ(state.values().selectedScreenClipID, state.values().edit.timeline.clips[1].id);
}

TEST_F(EditorCommandTest, ClipEdgeSettersClampAndRefuse) {
    useClips({10});
    const Uuid id = state.values().edit.timeline.clips[0].id;
    EXPECT_FALSE(state.setClipSourceStart(id, 9.96));
    EXPECT_TRUE(state.setClipSourceStart(id, -3));
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[0].sourceStart, 0);
    EXPECT_TRUE(state.setClipSourceStart(id, 9.9));
    EXPECT_FALSE(state.setClipSourceEnd(id, 9.93));
    EXPECT_TRUE(state.setClipSourceEnd(id, 10.0));
    EXPECT_EQ(state.values().selectedScreenClipID, id);
    EXPECT_TRUE(state.setClipHeadOffset(id, -1));
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[0].headOffset, 0);
    EXPECT_TRUE(state.undoStack().empty());
}

TEST_F(EditorCommandTest, MoveClipInsertsBeforeTheTargetSlot) {
    useClips({1, 2, 3});
    const auto original = state.values().edit.timeline.clips;
    expectRefused([&] { return state.moveClip(-1, 1); });
    expectRefused([&] { return state.moveClip(3, 0); });
    expectRefused([&] { return state.moveClip(1, 1); });
    expectUndoable([&] { return state.moveClip(0, 99); },
                   [&] {
                       const auto& clips = state.values().edit.timeline.clips;
                       EXPECT_EQ(clips[0].id, original[1].id);
                       EXPECT_EQ(clips[2].id, original[0].id);
                   });
    expectUndoable([&] { return state.moveClip(2, 0); },
                   [&] { EXPECT_EQ(state.values().edit.timeline.clips[0].id, original[0].id); });
}

TEST_F(EditorCommandTest, DeletingTheMiddleClipRipplesTheTimeline) {
    useClips({10, 10, 10});
    addZoom(25, 27);
    addZoom(12, 18);
    addZoom(8, 12);
    setPlayhead(14);
    const Uuid middle = state.values().edit.timeline.clips[1].id;
    expectUndoable([&] { return state.deleteClip(middle); },
                   [&] {
                       const auto& v = state.values();
                       ASSERT_EQ(v.edit.timeline.clips.size(), 2u);
                       ASSERT_EQ(v.edit.timeline.zoomRegions.size(), 2u);
                       EXPECT_DOUBLE_EQ(v.edit.timeline.zoomRegions[0].start, 15);
                       EXPECT_DOUBLE_EQ(v.edit.timeline.zoomRegions[0].end, 17);
                       EXPECT_DOUBLE_EQ(v.edit.timeline.zoomRegions[1].start, 8);
                       EXPECT_DOUBLE_EQ(v.edit.timeline.zoomRegions[1].end, 10);
                       EXPECT_DOUBLE_EQ(v.edit.timeline.trimEnd, 20);
                   });
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.duration, 20);
    EXPECT_DOUBLE_EQ(state.values().currentTime, 10);

    useClips({5});
    expectRefused([&] { return state.deleteClip(state.values().edit.timeline.clips[0].id); });
}

TEST_F(EditorCommandTest, RemoveTimeRangeShortensPlacedItemsAndClampsTheTrim) {
    useClips({20});
    state.modify([](EditorValues& v) {
        CaptionSegment caption;
        caption.start = 8;
        caption.end = 12;
        v.edit.audio.voiceClips = {audio(3, 4, 1), audio(6, 2)};  // across and inside the cut 5...9
        v.edit.overlays.videoOverlays = {overlayAt(10, 1)};
        v.edit.captions.captions = {caption};
        v.edit.timeline.clips[0].sourceEnd = 16;  // the caller has already shortened the clips
    });
    state.removeTimeRange(5, 9);
    const auto& v = state.values();
    ASSERT_EQ(v.edit.audio.voiceClips.size(), 1u);
    EXPECT_DOUBLE_EQ(v.edit.audio.voiceClips[0].startTime, 3);
    EXPECT_DOUBLE_EQ(v.edit.audio.voiceClips[0].duration, 2);
    EXPECT_DOUBLE_EQ(v.edit.audio.voiceClips[0].sourceStart, 1);
    EXPECT_DOUBLE_EQ(v.edit.overlays.videoOverlays[0].startTime, 6);
    EXPECT_DOUBLE_EQ(v.edit.captions.captions[0].start, 5);
    EXPECT_DOUBLE_EQ(v.edit.captions.captions[0].end, 8);
    EXPECT_DOUBLE_EQ(v.edit.timeline.duration, 16);
    EXPECT_DOUBLE_EQ(v.edit.timeline.trimEnd, 16);

    const auto unchanged = state.values();
    state.removeTimeRange(4, 4);
    EXPECT_EQ(state.values(), unchanged);
}

TEST_F(EditorCommandTest, TimedItemsSplitIntoAContinuingCopy) {
    useClips({20});
    AudioClip voice = audio(2, 6, 1);
    voice.label = "Voice";
    state.modify([&](EditorValues& v) { v.edit.audio.voiceClips = {voice}; });
    expectRefused([&] { return state.splitVoiceClip(voice.id, 2.04); });
    expectRefused([&] { return state.splitVoiceClip(voice.id, 7.96); });
    expectUndoable([&] { return state.splitVoiceClip(voice.id, 5); },
                   [&] {
                       const auto& clips = state.values().edit.audio.voiceClips;
                       ASSERT_EQ(clips.size(), 2u);
                       EXPECT_EQ(clips[0].id, voice.id);
                       EXPECT_DOUBLE_EQ(clips[0].duration, 3);
                       EXPECT_NE(clips[1].id, voice.id);
                       EXPECT_DOUBLE_EQ(clips[1].startTime, 5);
                       EXPECT_DOUBLE_EQ(clips[1].sourceStart, 4);
                       EXPECT_DOUBLE_EQ(clips[1].duration, 3);
                       EXPECT_EQ(clips[1].label, "Voice");
                   });
}

TEST_F(EditorCommandTest, OverlaysAudioClipsAndMutesAreEditedOneItemAtATime) {
    const auto& v = state.values();
    const VideoOverlayClip overlay = overlayAt(0, 4);
    expectUndoable([&] { return state.addOverlay(overlay); },
                   [&] { EXPECT_EQ(v.edit.overlays.videoOverlays.size(), 1u); });
    EXPECT_FALSE(state.addOverlay(overlay));  // already there
    expectUndoable([&] { return state.updateOverlay(overlay.id, [](VideoOverlayClip& o) { o.backgroundBlur = 7; }); },
                   [&] { EXPECT_DOUBLE_EQ(v.edit.overlays.videoOverlays[0].backgroundBlur, 1); });
    expectRefused([&] { return state.updateOverlay(overlay.id, [](VideoOverlayClip& o) { o.backgroundBlur = 1; }); });
    expectRefused([&] { return state.updateOverlay(Uuid::random(), [](VideoOverlayClip& o) { o.lane = 2; }); });
    expectUndoable([&] { return state.removeOverlay(overlay.id); },
                   [&] { EXPECT_TRUE(v.edit.overlays.videoOverlays.empty()); });

    const AudioClip voice = audio(0, 2);
    expectUndoable([&] { return state.addVoiceClip(voice); }, [&] { EXPECT_EQ(v.selectedClipID, voice.id); });
    expectUndoable([&] { return state.updateVoiceClip(voice.id, [](AudioClip& c) { c.volume = 0.5f; }); },
                   [&] { EXPECT_FLOAT_EQ(v.edit.audio.voiceClips[0].volume, 0.5f); });
    expectUndoable([&] { return state.removeVoiceClip(voice.id); },
                   [&] { EXPECT_TRUE(v.edit.audio.voiceClips.empty()); });

    useClips({10});
    expectRefused([&] { return state.addMute(3, 3); });
    expectUndoable([&] { return state.addMute(2, 3); }, [&] { EXPECT_EQ(v.edit.audio.muteRegions.size(), 1u); });
    EXPECT_EQ(v.selectedMuteID, v.edit.audio.muteRegions[0].id);
    expectUndoable([&] { return state.removeSelectedMute(); }, [&] { EXPECT_TRUE(v.edit.audio.muteRegions.empty()); });
    EXPECT_FALSE(v.selectedMuteID);
}

TEST_F(EditorCommandTest, SplitAtPlayheadPrefersTheSelectedItem) {
    useClips({10, 10});
    const VideoOverlayClip overlay = overlayAt(0, 10);
    state.modify([&](EditorValues& v) { v.edit.overlays.videoOverlays = {overlay}; });
    state.select(EditorSelectionKind::overlay, overlay.id);
    ASSERT_TRUE(state.splitAtPlayhead(4));
    EXPECT_EQ(state.values().edit.overlays.videoOverlays.size(), 2u);
    EXPECT_EQ(state.values().edit.timeline.clips.size(), 2u);

    state.select(EditorSelectionKind::zoom, Uuid::random());  // nothing splittable selected
    ASSERT_TRUE(state.splitAtPlayhead(15));                   // the clip under 15 s
    ASSERT_EQ(state.values().edit.timeline.clips.size(), 3u);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[1].sourceEnd, 15);
    EXPECT_FALSE(state.splitAtPlayhead(25));  // past the last clip
}

TEST_F(EditorCommandTest, AddSpeedRampRespectsTrimAndExistingRamps) {
    useClips({30});
    setPlayhead(29.8);
    expectRefused([&] { return state.addSpeedRamp(5, 2); });

    setPlayhead(10);
    ASSERT_TRUE(state.addSpeedRamp(5, 20));
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.speedRamps[0].speed, 8);
    EXPECT_EQ(state.values().selectedSpeedRampID, state.values().edit.timeline.speedRamps[0].id);

    setPlayhead(12);
    expectRefused([&] { return state.addSpeedRamp(5, 2); });

    setPlayhead(7);  // the next ramp at 10 cuts this one back
    ASSERT_TRUE(state.addSpeedRamp(5, 0.01));
    const auto& ramps = state.values().edit.timeline.speedRamps;
    ASSERT_EQ(ramps.size(), 2u);
    EXPECT_DOUBLE_EQ(ramps[0].start, 7);
    EXPECT_DOUBLE_EQ(ramps[0].end, 10);
    EXPECT_DOUBLE_EQ(ramps[0].speed, 0.1);

    setPlayhead(9.8);  // cut back to 0.2 s
    state.modify([](EditorValues& v) { v.edit.timeline.speedRamps.erase(v.edit.timeline.speedRamps.begin()); });
    expectRefused([&] { return state.addSpeedRamp(5, 2); });

    // Ramps are not part of a snapshot: undo leaves them in place.
    state.undo();
    EXPECT_EQ(state.values().edit.timeline.speedRamps.size(), 1u);
}

TEST_F(EditorCommandTest, StylingSettersAreUndoable) {
    const auto& v = state.values();
    // expectUndoable checks that each setter records exactly one step.
    const auto step = [&](const std::function<void()>& set, const std::function<void()>& check) {
        expectUndoable([&] { set(); return true; }, check);
    };
    step([&] { state.setCustomBackground("/recordings/A/wall.png"); },
         [&] {
             EXPECT_EQ(v.edit.frame.background, BackgroundStyle::customImage);
             EXPECT_EQ(v.edit.frame.customBackgroundPath, std::filesystem::path("/recordings/A/wall.png"));
         });
    step([&] { state.setCursorVisualStyle(CursorVisualStyle::touch); },
         [&] { EXPECT_FALSE(v.edit.cursor.showCursorRing); });
    step([&] { state.setCursorClickAnimationStyle(CursorClickAnimationStyle::ripple); },
         [&] { EXPECT_EQ(v.edit.cursor.cursorClickAnimationStyle, CursorClickAnimationStyle::ripple); });
    step([&] { state.setCursorClickAnimationStyle(CursorClickAnimationStyle::brush); },
         [&] { EXPECT_EQ(v.edit.cursor.cursorClickAnimationStyle, CursorClickAnimationStyle::pulse); });
    step([&] { state.setChromeStyle(WindowChromeStyle::translucent); },
         [&] { EXPECT_EQ(v.edit.frame.chromeStyle, WindowChromeStyle::translucent); });
    step([&] { state.setExportAspect(ExportAspectRatio::vertical); },
         [&] { EXPECT_EQ(v.edit.frame.exportAspect, ExportAspectRatio::vertical); });
    step([&] { state.setCropRect(Rect{0.1, 0.1, 0.5, 0.5}); }, [&] { EXPECT_TRUE(v.edit.frame.cropRect); });
}

TEST_F(EditorCommandTest, ImportedMediaIsInsertedByKind) {
    useClips({10});
    setPlayhead(3);
    expectRefused([&] { return state.appendClip("clip-x.mp4", 0); });
    expectRefused([&] { return state.insertImportedMedia(ImportedMediaKind::audio, "/recordings/A/a.m4a", 0); });
    expectUndoable([&] { return state.insertImportedMedia(ImportedMediaKind::video, "/recordings/A/clip-1.mp4", 5); },
                   [&] {
                       ASSERT_EQ(state.values().edit.timeline.clips.size(), 2u);
                       EXPECT_EQ(state.values().edit.timeline.clips.back().sourceFile, "clip-1.mp4");
                       EXPECT_DOUBLE_EQ(state.values().edit.timeline.trimEnd, 15);
                   });
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.duration, 15);
    expectUndoable([&] { return state.insertImportedMedia(ImportedMediaKind::audio, "/recordings/A/music.m4a", 7); },
                   [&] {
                       ASSERT_EQ(state.values().edit.audio.voiceClips.size(), 1u);
                       EXPECT_DOUBLE_EQ(state.values().edit.audio.voiceClips[0].startTime, 3);
                       EXPECT_DOUBLE_EQ(state.values().edit.audio.voiceClips[0].duration, 7);
                   });
    expectUndoable([&] { return state.insertImportedMedia(ImportedMediaKind::image, "/recordings/A/logo.png", 0); },
                   [&] {
                       const auto& overlays = state.values().edit.overlays.videoOverlays;
                       ASSERT_EQ(overlays.size(), 1u);
                       EXPECT_EQ(overlays[0].label, "Logo");
                       EXPECT_EQ(overlays[0].mediaKind, VideoOverlayClip::MediaKind::image);
                       EXPECT_GT(overlays[0].duration, 0);
                   });
}

TEST_F(EditorCommandTest, MeasuredDurationWidensTheDefaultClipAndAnUnsetTrimEnd) {
    state.modify([](EditorValues& v) {
        v.edit.timeline.clips = {Clip{.sourceFile = "screen.mp4", .sourceEnd = EditorState::kUnmeasuredClipLength}};
    });
    double announced = 0;
    auto subscription = state.durationKnown.subscribe([&](const double& d) { announced = d; });
    state.setMeasuredDuration(42);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[0].sourceEnd, 42);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.trimEnd, 42);
    EXPECT_DOUBLE_EQ(announced, 42);

    // A clip the user trimmed and a trim window already set are kept.
    useClips({5});
    state.modify([](EditorValues& v) { v.edit.timeline.trimEnd = 4; });
    state.setMeasuredDuration(50);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.clips[0].sourceEnd, 5);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.trimEnd, 4);
}

}  // namespace
}  // namespace orvane
