#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "base/manual_executor.h"
#include "base/toast_center.h"
#include "media/sample_video.h"
#include "recording/recording_library.h"
#include "support/temp_dir.h"

namespace orvane::testing {

// A library in a temporary data root, with virtual time and a toast centre to inspect.
class LibraryFixture : public ::testing::Test {
protected:
    LibraryLocation location() const { return LibraryLocation::explicitRoot(dir_ / "Recordings"); }

    RecordingLibrary& open() {
        library_ = std::make_unique<RecordingLibrary>(location(), executor_, toasts_);
        return *library_;
    }

    // A short real movie, made once per test.
    std::filesystem::path sampleVideo(const std::string& name = "sample.mp4", double seconds = 1.0) {
        const auto path = dir_ / name;
        SampleVideoLayout options;
        options.width = 320;
        options.height = 180;
        options.seconds = seconds;
        options.withAudio = false;
        writeSampleVideo(path, options);
        return path;
    }

    // A recording folder with a hand-written meta.json, as an older build or a crash may leave it.
    std::filesystem::path writeRecordingFolder(const std::string& metaJson, const std::string& id = Uuid::random().string()) {
        const auto folder = location().recordingsRoot / id;
        std::string text = metaJson;
        for (auto pos = text.find("$ID"); pos != std::string::npos; pos = text.find("$ID")) text.replace(pos, 3, id);
        writeTextFile(folder / "meta.json", text);
        return folder;
    }

    TempDir dir_;
    ManualExecutor executor_;
    ToastCenter toasts_{executor_};
    std::unique_ptr<RecordingLibrary> library_;
};

}  // namespace orvane::testing
