// Listing a library of 1,000 recordings: what `orvane list` and the home window pay at every reload.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "base/atomic_file.h"
#include "base/manual_executor.h"
#include "base/toast_center.h"
#include "recording/recording_library.h"

namespace {

namespace fs = std::filesystem;
using namespace orvane;

class LibraryOnDisk {
public:
    explicit LibraryOnDisk(int count) {
        std::string pattern = (fs::temp_directory_path() / "orvane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        const auto location = LibraryLocation::explicitRoot(root_ / "Recordings");
        for (int i = 0; i < count; ++i) {
            auto meta = makeNewRecordingMeta(Uuid::random(), std::chrono::system_clock::now() - std::chrono::minutes(i));
            meta.displayWidth = 3024;
            meta.displayHeight = 1964;
            meta.durationMs = 61'000 + i;
            meta.hasMicrophone = meta.hasCursor = true;
            meta.sourceKind = RecordingSourceKind::display;
            meta.sourceTitle = "Recording " + std::to_string(i);
            const RecordingFolder folder{location.recordingsRoot / meta.id.string()};
            fs::create_directories(folder.directory);
            writeRecordingMeta(folder, meta);
        }
        location_ = location;
    }
    ~LibraryOnDisk() { fs::remove_all(root_); }
    const LibraryLocation& location() const { return location_; }

private:
    fs::path root_;
    LibraryLocation location_;
};

void BM_ReloadLibraryOf1000(benchmark::State& state) {
    LibraryOnDisk disk(1000);
    ManualExecutor executor;
    ToastCenter toasts(executor);
    RecordingLibrary library(disk.location(), executor, toasts);
    for (auto _ : state) {
        library.reload();
        benchmark::DoNotOptimize(library.recordings().data());
    }
    state.counters["recordings"] = static_cast<double>(library.recordings().size());
}
BENCHMARK(BM_ReloadLibraryOf1000)->Unit(benchmark::kMillisecond);

// Opening includes the recovery pass, which looks for screen.mp4 in every folder.
void BM_OpenLibraryOf1000(benchmark::State& state) {
    LibraryOnDisk disk(1000);
    ManualExecutor executor;
    ToastCenter toasts(executor);
    for (auto _ : state) {
        RecordingLibrary library(disk.location(), executor, toasts);
        benchmark::DoNotOptimize(library.recordings().data());
    }
}
BENCHMARK(BM_OpenLibraryOf1000)->Unit(benchmark::kMillisecond);

}  // namespace
