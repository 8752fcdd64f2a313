// A recording opened in the editor is laid out in its own shape: the window on the canvas has the
// movie's aspect, whatever the movie's size, including a phone clip stored sideways with a rotation.

#include <gtest/gtest.h>

#include "editor/editor_session.h"
#include "editor/scene_snapshot_builder.h"
#include "media/sample_video.h"
#include "model/scene_render_snapshot.h"
#include "render/scene/frame_layout.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

struct Shape {
    const char* name;
    SampleVideoLayout movie;
    // The window on a 1920 x 1080 canvas with the default inset (0.04 of the width on every side:
    // 76.8 px, leaving 1766.4 x 926.4), worked out by hand.
    Rect window;
};

TEST(OpenedRecordingShape, TheWindowKeepsTheMoviesAspectOnTheCanvas) {
    const std::vector<Shape> shapes = {
        // Every landscape shape here is bound by the height: 926.4 px tall, as wide as its aspect says.
        {"4:3", {.width = 640, .height = 480}, {342.4, 76.8, 1235.2, 926.4}},
        {"16:10", {.width = 640, .height = 400}, {218.88, 76.8, 1482.24, 926.4}},
        {"16:9", {.width = 640, .height = 360}, {136.533, 76.8, 1646.933, 926.4}},
        {"9:16", {.width = 360, .height = 640}, {699.45, 76.8, 521.1, 926.4}},
        // Stored 16:9 with a quarter turn: shown, decoded and laid out upright.
        {"16:9 turned", {.width = 640, .height = 360, .rotationDegrees = 90}, {699.45, 76.8, 521.1, 926.4}},
    };
    testing::TempDir home;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const RecordingFolder folder{home / shape.name};
        std::filesystem::create_directories(folder.directory);
        RecordingMeta meta = makeNewRecordingMeta(Uuid::random(), SystemTime{});
        SampleVideoLayout movie = shape.movie;
        movie.seconds = 0.5;
        movie.withAudio = false;
        writeSampleVideo(folder.screenVideoFile(meta), movie);

        EditorSession session(folder, meta, EditorSettings{});
        const auto snapshot = makeSceneRenderSnapshot(session.state());
        const Rect window = frameLayout(snapshot, Rect{0, 0, 1920, 1080}, CameraState{}).window;
        EXPECT_NEAR(window.x, shape.window.x, 1);
        EXPECT_NEAR(window.y, shape.window.y, 1);
        EXPECT_NEAR(window.width, shape.window.width, 1);
        EXPECT_NEAR(window.height, shape.window.height, 1);
    }
}

}  // namespace
}  // namespace orvane
