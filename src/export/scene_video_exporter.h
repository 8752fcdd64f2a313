#pragma once

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>

#include "export/cache/segment_store.h"
#include "export/export_error.h"
#include "export/export_progress.h"
#include "export/h264_file_writer.h"
#include "model/export_profile.h"

namespace orvane {

struct SceneRenderSnapshot;

// Tuning that callers normally leave alone; benchmarks and tests set it.
struct SceneVideoExporterOptions {
    unsigned processors = 0;              // 0: std::thread::hardware_concurrency()
    std::string x264Preset = "veryfast";  // the software encoder's speed/quality point
    HardwareEncoding hardware = HardwareEncoding::whenAvailable;
};

// Renders an edit into a silent H.264 MP4 at an output profile. The output range is cut into
// segments; segments the store already holds are reused, the others are rendered by parallel
// workers (each with its own decoders, compositor and encoder) and stored, and the segments are then
// joined without re-encoding. Without a store, or when the store fails, the whole range is rendered
// in one attempt straight to the output. Each attempt tries the hardware encoder first and renders
// again in software when it fails.
class SceneVideoExporter {
public:
    explicit SceneVideoExporter(SegmentStore* store = nullptr, SceneVideoExporterOptions options = {});

    // Writes the video and returns once `output` is complete; a file already at `output` is only
    // replaced on success. Blocks the calling thread. `progress` is called from worker threads, one
    // call at a time. Throws ExportError, ExportCancelled once `stop` is requested (checked before
    // every batch of frames; partial files are deleted), or std::runtime_error with a reader's or
    // writer's error.
    void render(std::shared_ptr<const SceneRenderSnapshot> snapshot, const OutputProfile& profile,
                const std::filesystem::path& output, ExportProgress progress, std::stop_token stop = {});

private:
    SegmentStore* store_;
    SceneVideoExporterOptions options_;
};

}  // namespace orvane
