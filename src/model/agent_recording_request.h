#pragma once

// An agent's request to record a scripted demonstration (the "agent-record" link) and the context
// that carries it through the recording and its export.

#include <cstdint>
#include <optional>
#include <string>

#include "base/geometry.h"
#include "base/uuid.h"
#include "model/recording_meta.h"

namespace orvane {

struct AgentRecordingRequest {
    std::optional<RecordingSourceKind> preferredKind;
    std::optional<std::string> target;
    std::optional<std::string> appName;
    std::optional<std::string> appBundleID;
    std::optional<std::string> windowTitle;
    std::optional<std::uint32_t> windowID;
    std::optional<std::uint32_t> displayID;
    std::optional<std::string> scenario;
    double duration = 10.0;  // seconds, 1...3600
    std::optional<std::string> title;
    std::optional<std::string> prompt;
    std::optional<std::string> voiceoverURL;
    std::optional<std::string> scriptURL;
    std::optional<std::string> actionPlanURL;
    std::optional<std::string> controlMode;
    bool includeSystemAudio = false;
    std::optional<Rect> cropRect;  // fractions of the source, inside the unit square
    std::optional<std::string> sessionID;
};

struct PendingAgentExport {
    Uuid recordingID;
    AgentRecordingRequest request;
};

// Attached to a recording flow while an agent's request is recorded, then exported.
struct AgentRecordingContext {
    std::optional<PendingAgentExport> pendingExport;
    std::optional<Uuid> exportRecordingID;
    bool keepsMainWindowActive = false;
    bool suppressActivationOnStop = false;
    // The request itself, until the finished recording moves it into `pendingExport`.
    std::optional<AgentRecordingRequest> request;
};

}  // namespace orvane
