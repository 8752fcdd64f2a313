#pragma once

// Fakes for the export controller's services and a pump for its two executors.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/manual_executor.h"
#include "export/export_controller.h"
#include "export/export_error.h"
#include "model/scene_render_snapshot.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// A one-clip edit of `seconds`.
inline std::shared_ptr<const SceneRenderSnapshot> snapshotOfLength(double seconds) {
    SceneRenderSnapshot snapshot;
    snapshot.videoPath = "/recordings/A/screen.mp4";
    snapshot.edit.timeline.clips.push_back(Clip{Uuid::random(), "screen.mp4", 0, seconds, 0});
    snapshot.edit.timeline.trimEnd = seconds;
    snapshot.edit.frame.videoSize = {1920, 1080};
    return std::make_shared<const SceneRenderSnapshot>(snapshot);
}

// Writes "video WxH" as the rendered file, reporting a little progress on the way. `during` runs
// mid-render (tests cancel from there); `failWith` makes the render fail after writing its output.
class FakeRenderer : public ExportVideoRenderer {
public:
    void render(std::shared_ptr<const SceneRenderSnapshot>, const OutputProfile& profile,
                const std::filesystem::path& output, ExportProgress progress, std::stop_token stop) override {
        profiles.push_back(profile);
        writeTextFile(output, "video " + std::to_string(profile.width) + "x" + std::to_string(profile.height));
        progress(0.5, std::string("about 1s remaining"));
        if (during) during();
        if (stop.stop_requested()) {
            std::filesystem::remove(output);
            throw ExportCancelled();
        }
        if (failWith) std::rethrow_exception(failWith);
        progress(1.0, std::nullopt);
    }

    std::vector<OutputProfile> profiles;
    std::function<void()> during;
    std::exception_ptr failWith;
};

// Runs both executors until neither has work: background work posts back to main and main starts
// the next background task.
inline void pump(ManualExecutor& main, ManualExecutor& background) {
    while (main.pendingCount() > 0 || background.pendingCount() > 0) {
        background.runPending();
        main.runPending();
    }
}

// Services with the fake renderer and a private temporary folder, both executors, and the
// folders out/ for exports and tmp/ for the controller's working files.
class ExportServicesTest : public ::testing::Test {
protected:
    ExportServicesTest() {
        std::filesystem::create_directories(temp / "tmp");
        std::filesystem::create_directories(temp / "out");
        services.renderer = renderer;
        services.temporaryDirectory = temp / "tmp";
    }
    void run() { pump(main, background); }

    TempDir temp;
    ManualExecutor main;
    ManualExecutor background;
    std::shared_ptr<FakeRenderer> renderer = std::make_shared<FakeRenderer>();
    ExportServices services;
};

// Entries of a folder, for checking that nothing was left behind.
inline std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

}  // namespace orvane::testing
