#include <gtest/gtest.h>

#include "editor/editor_state.h"
#include "render/scene_snapshot.h"

namespace orvane {
namespace {

TEST(SceneSnapshot, CopiesTheEditAndSamplesTheCameraOverTheTrim) {
    EditorState state(Uuid::random(), "/data/Recordings/A/screen.mp4");
    state.modify([](EditorValues& v) {
        v.trimStart = 1;
        v.trimEnd = 2;
        v.clips.push_back({});
        v.clips.back().sourceEnd = 5;
        v.zoomRegions.push_back({.start = 1.2, .end = 1.8, .scale = 2, .followCursor = false});
        v.cursorRingStyle = {0.9, 0.1, 0.1, 0.5, 44};
        v.cropRect = Rect{0.1, 0.1, 0.5, 0.5};
        v.inset = 0.07;
    });
    state.drawsSyntheticCursor = true;

    const SceneRenderSnapshot s = makeSceneRenderSnapshot(state, std::filesystem::path("/tmp/voice.m4a"));
    EXPECT_EQ(s.videoURL, "/data/Recordings/A/screen.mp4");
    EXPECT_EQ(s.clipBaseDirectory, "/data/Recordings/A");
    EXPECT_EQ(s.cropRect, state.values().cropRect);
    EXPECT_EQ(s.cursorRingColor, (RgbaColor{0.9, 0.1, 0.1, 0.5}));
    EXPECT_DOUBLE_EQ(s.cursorRingSize, 44);
    EXPECT_EQ(s.cursorRingStyleName, "amber");  // not one of the presets
    EXPECT_TRUE(s.drawsSyntheticCursor);
    EXPECT_EQ(s.aiVoiceoverURL, std::filesystem::path("/tmp/voice.m4a"));
    // 60 Hz over one second of trim, both ends included, with the zoom in the middle.
    ASSERT_EQ(s.cameraSamples.size(), 61u);
    EXPECT_DOUBLE_EQ(s.cameraSamples.front().t, 1);
    EXPECT_DOUBLE_EQ(s.cameraSamples[30].scale, 2);
    EXPECT_TRUE(s.cursorSamples.empty());  // no telemetry

    // Frozen: later edits do not reach the copy.
    state.modify([](EditorValues& v) { v.inset = 0.2; });
    EXPECT_DOUBLE_EQ(s.inset, 0.07);
    EXPECT_FALSE(isSet(Rect{0, 0, 0, 1}));
    EXPECT_TRUE(isSet(s.cropRect));
}

}  // namespace
}  // namespace orvane
