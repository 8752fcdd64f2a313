#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <stop_token>

#include "export/export_progress.h"
#include "export/h264_file_writer.h"
#include "export/output_frame.h"
#include "model/export_profile.h"
#include "model/scene_render_snapshot.h"

namespace orvane {

// What every attempt of one render job shares. Read-only once the job starts, except the flag.
struct RenderJob {
    std::shared_ptr<const SceneRenderSnapshot> snapshot;
    OutputProfile profile;
    std::stop_token stop;      // the job's own: the caller's cancel or another worker's failure
    std::stop_token userStop;  // the caller's cancel alone
    SegmentRenderProgressCounter* counter = nullptr;
    H264Settings encoderSettings;  // fastStart is chosen per attempt
    int decoderThreads = 0;
    HardwareEncoding hardware = HardwareEncoding::whenAvailable;
    // Set when a hardware attempt failed, so the job's later segments go straight to software.
    std::atomic<bool> hardwareFailed{false};
};

// What a segment worker keeps between the segments it renders: the frame renderer with its
// background, captions, compositor caches and face services. A worker's segments come in increasing
// time, which the caption lookup needs; a failed attempt drops the renderer so its retry starts over.
struct RenderWorker {
    std::unique_ptr<OutputFrameRenderer> renderer;
};

// Renders output frames [range.startFrame, range.endFrame) into `file` with one encoder: frame i at
// presentation time i - startFrame. Throws ExportCancelled when the job stops between batches,
// ExportError or std::runtime_error when a frame or the file cannot be made. Frames it counted are
// taken back from the job's counter when it fails.
void renderVideoFramesAttempt(RenderJob& job, RenderWorker& worker, const RenderSegment& range,
                              const std::filesystem::path& file, H264Encoder encoder, bool fastStart);

// The same, hardware first when the machine has an encoder and the job has not seen it fail, then
// software. The file is emptied in place whenever an attempt fails; its owner removes it.
void renderVideoFrames(RenderJob& job, RenderWorker& worker, const RenderSegment& range,
                       const std::filesystem::path& file, bool fastStart);

// The box the recording is decoded into: large enough for the window at `strongestZoom` (and the
// edit's crop), never more than the recording's own size. Attempts pass the strongest zoom of their
// own frames, so a segment decodes alike whatever the rest of the edit zooms to. The full size when
// that box would be only a little smaller.
struct DecodeBox {
    int width = 0;
    int height = 0;
};
DecodeBox recordingDecodeBox(const SceneRenderSnapshot& snapshot, int canvasWidth, int canvasHeight,
                             double strongestZoom);

// Frames before a range's first frame whose face cameras warm up the face framing: after this many
// steps of 18 % the smoothed crop has closed all but 0.3 % of any gap, so a segment frames its
// first frames as a continuous render would.
inline constexpr int kFaceFramingLeadInFrames = 30;

}  // namespace orvane
