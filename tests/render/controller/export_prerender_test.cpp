#include <gtest/gtest.h>

#include "editor/editor_state.h"
#include "export_test_support.h"
#include "render/export/export_prerender.h"

namespace orvane {
namespace {

using namespace orvane::testing;
namespace fs = std::filesystem;

// Remembers where each render wrote and whether it had been told to stop.
class RecordingRenderer : public ExportVideoRenderer {
public:
    void render(std::shared_ptr<const SceneRenderSnapshot>, const OutputProfile& profile, const fs::path& output,
                ExportProgress, std::stop_token stop) override {
        if (stop.stop_requested()) throw ExportCancelled();
        writeTextFile(output, "segments");
        outputs.push_back(output);
        profiles.push_back(profile);
    }
    std::vector<fs::path> outputs;
    std::vector<OutputProfile> profiles;
};

TEST(ExportPreRender, RendersTheLatestEditWithTheExportSettingsAndKeepsNoFile) {
    ManualExecutor background;
    auto renderer = std::make_shared<RecordingRenderer>();
    ExportSettings compact;
    compact.quality = ExportQuality::compact;
    const auto hook = makeExportPreRenderHook(background, [&] { return compact; }, ExportPreset::vertical, renderer);

    EditorState state(Uuid::random(), "/recordings/A/screen.mp4");
    // Nothing to render before the edit has a clip with a length.
    EXPECT_FALSE(hook(state));

    state.appendClip("screen.mp4", 3);
    state.setMeasuredDuration(3);
    const auto first = hook(state);
    const auto second = hook(state);
    ASSERT_TRUE(first && second);
    first();
    second();  // a newer save: the first pre-render is now out of date
    background.runPending();

    ASSERT_EQ(renderer->profiles.size(), 1u);
    EXPECT_EQ(renderer->profiles[0].quality, ExportQuality::compact);
    EXPECT_EQ(renderer->profiles[0].height, 1920);
    EXPECT_FALSE(fs::exists(renderer->outputs[0]));
}

}  // namespace
}  // namespace orvane
