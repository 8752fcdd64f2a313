#include "recording/recording_flow.h"

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/recording_library.h"

namespace orvane {

namespace {

RecordingReply failure(RecordingReply::Failure kind, std::string message) {
    return RecordingReply{false, std::nullopt, std::move(message), kind, std::nullopt};
}

}  // namespace

RecordingFlow::RecordingFlow(ScreenRecorder& recorder, RecordingLibrary& library, RecordingSelectionStore& selection,
                             std::string lastUsedSourceID, RememberSource remember, OpenRecording open)
    : recorder_(recorder),
      library_(library),
      selection_(selection),
      lastUsedSourceID_(std::move(lastUsedSourceID)),
      remember_(std::move(remember)),
      open_(std::move(open)) {
    subscription_ = recorder_.observeState([this](const ScreenRecorder::State& state) { onState(state); });
}

bool RecordingFlow::start(RecordingRequest request, const SourceCatalogSnapshot& catalog) {
    affinity_.check();
    auto reply = [&request](RecordingReply r) {
        if (request.reply) request.reply(r);
    };
    if (recorder_.state().phase != ScreenRecorder::Phase::idle) {
        reply(failure(RecordingReply::Failure::alreadyRecording, "Orvane is already recording."));
        return false;
    }
    auto source = request.source;
    if (!source) source = defaultSource(catalog, lastUsedSourceID_, request.preferredKind);
    if (!source) {
        reply(failure(RecordingReply::Failure::noSource, "No matching recording source was available."));
        return false;
    }
    lastUsedSourceID_ = sourceID(*source);
    if (remember_) remember_(lastUsedSourceID_);
    source_ = source;
    active_ = std::move(request);
    // A start that fails at once is "did not start", not "did not finish"; the states it passes
    // through are looked at afterwards.
    startingNow_ = true;
    recorder_.start(*source, active_->options, library_);
    startingNow_ = false;
    if (recorder_.state().phase == ScreenRecorder::Phase::failed) {
        answer(failure(RecordingReply::Failure::didNotStart, "Recording did not start."));
        active_.reset();
        return false;
    }
    return true;
}

const std::optional<AgentRecordingContext>& RecordingFlow::agent() const {
    static const std::optional<AgentRecordingContext> none;
    return active_ ? active_->agent : none;
}

void RecordingFlow::answer(RecordingReply reply) {
    affinity_.check();
    if (!active_ || !active_->reply) return;
    reply.agent = active_->agent;
    // A caller is answered once, whatever happens after.
    auto send = std::exchange(active_->reply, nullptr);
    send(reply);
}

void RecordingFlow::onState(const ScreenRecorder::State& state) {
    affinity_.check();
    if (!active_ || startingNow_) return;
    switch (state.phase) {
        case ScreenRecorder::Phase::finished: {
            library_.reload();
            std::optional<RecordingMeta> meta;
            if (state.session) meta = readRecordingMeta(state.session->folder);
            if (!meta) {
                answer(
                    failure(RecordingReply::Failure::didNotFinish, "Recording finished but no saved take was found."));
                active_.reset();
                return;
            }
            selection_.select(*meta);
            const auto appendTarget = active_->appendTarget;
            bool staysInBackground = false;
            if (auto& agent = active_->agent) {
                // The agent's request now waits for the export of this recording.
                if (agent->request) agent->pendingExport = PendingAgentExport{meta->id, *agent->request};
                agent->exportRecordingID = meta->id;
                staysInBackground = agent->suppressActivationOnStop;
            }
            answer(RecordingReply{true, *meta, {}, RecordingReply::Failure::none, std::nullopt});
            active_.reset();
            if (staysInBackground) return;
            log::info(log_area::kRecorder, "opening %s", meta->id.string().c_str());
            if (open_) open_(*meta, appendTarget);
            return;
        }
        case ScreenRecorder::Phase::failed:
            // What the capture wrote before it failed plays (the movie is fragmented): list it now.
            library_.recoverUnfinishedCaptures();
            library_.reload();
            answer(failure(RecordingReply::Failure::didNotFinish,
                           state.failure.empty() ? "Recording did not finish cleanly."
                                                 : "Recording did not finish cleanly: " + state.failure));
            active_.reset();
            return;
        case ScreenRecorder::Phase::idle:
            // Cancelled before it got going.
            answer(failure(RecordingReply::Failure::didNotFinish, "Recording did not finish cleanly."));
            active_.reset();
            return;
        default: return;
    }
}

}  // namespace orvane
