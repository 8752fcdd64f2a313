#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/signal.h"
#include "base/thread_affinity.h"
#include "model/agent_recording_request.h"
#include "model/recording_meta.h"
#include "recording/recording_options.h"
#include "recording/recording_source.h"
#include "recording/screen_recorder.h"

namespace orvane {

class RecordingLibrary;

// The recording the home window and the editor show, shared between them. A main-loop object.
class RecordingSelectionStore {
public:
    const std::optional<RecordingMeta>& selectedRecording() const { return selected_; }
    void select(std::optional<RecordingMeta> recording) {
        selected_ = std::move(recording);
        changed_.emit(selected_);
    }
    [[nodiscard]] Subscription observe(std::function<void(const std::optional<RecordingMeta>&)> observer) {
        return changed_.subscribe(std::move(observer));
    }

private:
    std::optional<RecordingMeta> selected_;
    Signal<std::optional<RecordingMeta>> changed_;
};

// What an outside caller (a deep link) is told about its recording request.
struct RecordingReply {
    enum class Failure { none, alreadyRecording, noSource, didNotStart, didNotFinish };

    bool succeeded = false;
    std::optional<RecordingMeta> recording;  // when it succeeded
    std::string message;                     // when it did not
    Failure failure = Failure::none;
    // An agent's request: on success its export is pending for the new recording.
    std::optional<AgentRecordingContext> agent;
};

// One start request: from the user (no preferred kind, the last used source), a menu command or a
// deep link (a preferred kind, and a reply to send at the end).
struct RecordingRequest {
    std::optional<RecordingSourceKind> preferredKind;
    std::optional<RecordingSource> source;  // a source the user picked; otherwise the default one
    RecordingOptions options;
    std::optional<Uuid> appendTarget;  // the recording the new take is appended to
    std::function<void(const RecordingReply&)> reply;
    // Set when an agent asked for the recording; it travels to the export.
    std::optional<AgentRecordingContext> agent;
};

// The new-recording flow around the recorder: picks the source, remembers it, starts the recorder and,
// when the recording finishes, selects it and hands it to the editor (or to the recording it is
// appended to), answering an outside caller once. A main-loop object.
class RecordingFlow {
public:
    // `open` receives the finished recording and the append target, if any.
    using OpenRecording = std::function<void(const RecordingMeta&, const std::optional<Uuid>& appendTarget)>;
    // Receives the id of each source a start picked, to be remembered for the next run.
    using RememberSource = std::function<void(const std::string& sourceID)>;

    // `lastUsedSourceID`: the source the user last recorded, as remembered from an earlier run.
    RecordingFlow(ScreenRecorder& recorder, RecordingLibrary& library, RecordingSelectionStore& selection,
                  std::string lastUsedSourceID, RememberSource remember, OpenRecording open);

    // Starts `request` with the sources in `catalog`. Answers false (and replies) when it could not start.
    bool start(RecordingRequest request, const SourceCatalogSnapshot& catalog);
    // The source the last start picked.
    const std::optional<RecordingSource>& source() const { return source_; }
    // The agent context of the running request, if an agent asked for it.
    const std::optional<AgentRecordingContext>& agent() const;

private:
    void onState(const ScreenRecorder::State& state);
    void answer(RecordingReply reply);

    ThreadAffinity affinity_;  // a main-loop object
    ScreenRecorder& recorder_;
    RecordingLibrary& library_;
    RecordingSelectionStore& selection_;
    std::string lastUsedSourceID_;
    RememberSource remember_;
    OpenRecording open_;
    std::optional<RecordingRequest> active_;
    std::optional<RecordingSource> source_;
    bool startingNow_ = false;
    Subscription subscription_;
};

}  // namespace orvane
