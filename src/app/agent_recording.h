#pragma once

// The engine side of an agent's recording: the source and options it records with, the cursor
// track and narration made from its plan afterwards, and the plan performed with real input.

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/executor.h"
#include "base/geometry.h"
#include "model/agent_action_plan.h"
#include "model/agent_recording_request.h"
#include "model/audio_clip.h"
#include "model/recording_files.h"
#include "platform/input_synthesizer.h"
#include "recording/recording_options.h"
#include "recording/recording_source.h"

namespace orvane {

// A step of an agent recording failed; what() is the text the caller is answered with.
class AgentRecordingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads and decodes a plan file; throws AgentPlanError ("Couldn't read the action plan ...").
AgentActionPlan readAgentActionPlan(const std::filesystem::path& file);

// The source an agent asked for: by window id, display id, application (id or name), window title,
// then `target` as any of those, then the preferred kind; with no identifier, the first display.
// Nothing when identifiers were given and none matches.
std::optional<RecordingSource> agentRecordingSource(const SourceCatalogSnapshot& catalog,
                                                    const AgentRecordingRequest& request);

// No face camera, microphone, activation or chrome. A synthetic cursor hides the system cursor and
// skips sampling the real mouse, styled "touch" or "pointer" with the "pulse" click.
RecordingOptions agentRecordingOptions(const AgentRecordingRequest& request, bool syntheticCursor,
                                       bool mobileTouchMode);

// Replaces cursor.json with the plan's telemetry over the recording's length and marks the
// recording as having a cursor. Throws AgentRecordingError; the previous files stay on failure.
void writeAgentCursorTrack(const RecordingFolder& folder, RecordingMeta& meta, const SyntheticCursorTimeline& timeline);

// Narration files as voice clips: the n-th file starts at the n-th narration step's time, a file
// without its own step right after the previous clip (the first at 0). Throws AgentRecordingError
// for a file that cannot be read or a clip that runs past the capture.
std::vector<AudioClip> agentNarrationClips(const std::vector<std::filesystem::path>& files,
                                           const SyntheticCursorTimeline& timeline, double captureSeconds);

// Performs a plan with real input during its recording: the pointer follows the plan's path, the
// button goes down and up on its presses (a right button for "right_click", two clicks for
// "double_click") and typing steps type. Points are mapped into `area` (global pixels) and never
// leave it. A main-loop object; the synthesizer is used only from `loop`.
class AgentPlanPerformer {
public:
    AgentPlanPerformer(Executor& loop, InputSynthesizer& input, SyntheticCursorTimeline timeline, Rect area);
    ~AgentPlanPerformer();
    AgentPlanPerformer(const AgentPlanPerformer&) = delete;
    AgentPlanPerformer& operator=(const AgentPlanPerformer&) = delete;

    // Plan time 0 is now.
    void start();
    // Cancels what has not happened and lets every button go.
    void stop();

    // A plan point in the area's pixels, clamped inside it.
    static PointerLocation pixelFor(const Rect& area, double x, double y);

private:
    void tick();
    void setButton(InputSynthesizer::Button button, bool down);

    Executor& loop_;
    InputSynthesizer& input_;
    SyntheticCursorTimeline timeline_;
    Rect area_;
    SteadyTime startedAt_{};
    std::vector<TimerHandle> timers_;
    TimerHandle motion_;
    bool down_[4] = {false, false, false, false};  // by button number
};

}  // namespace orvane
