#include "cloud/remote_edit_poller.h"

#include <algorithm>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "editor/remote_edit_apply.h"
#include "editor/remote_edit_json.h"

namespace orvane {

RemoteEditPoller::Fetched RemoteEditPoller::fetchQuietly(const RemoteEditFetch& fetch, const std::string& videoID,
                                                         std::stop_token stop) {
    Fetched fetched;
    try {
        fetched.record = fetch(videoID, stop);
        fetched.ok = true;
    } catch (const std::exception& error) {
        // A failed poll is silent; the next one tries again.
        fetched.error = error.what();
        log::debug(log_area::kRemoteEdits, "poll of video %s failed: %s", videoID.c_str(), error.what());
    }
    return fetched;
}

RemoteEditFetch backendRemoteEditFetch(std::shared_ptr<RemoteAPIClient> api,
                                       RemoteAPIClient::TokenProvider currentToken, RefreshAfterRejection refresh) {
    return [api = std::move(api), currentToken = std::move(currentToken), refresh = std::move(refresh)](
               const std::string& videoID, std::stop_token stop) {
        return withOneRefresh(currentToken, refresh, [&] { return api->videoEdits(videoID, stop); });
    };
}

std::shared_ptr<RemoteEditPoller> RemoteEditPoller::make(const std::string& remoteVideoID, RemoteEditFetch fetch,
                                                         RemoteEditTarget target, Executor& main, Executor& work,
                                                         ToastCenter* toasts) {
    auto videoID = trimWhitespaceAndNewlines(remoteVideoID);
    if (videoID.empty()) return nullptr;
    return std::shared_ptr<RemoteEditPoller>(
        new RemoteEditPoller(std::move(videoID), std::move(fetch), std::move(target), main, work, toasts));
}

RemoteEditPoller::RemoteEditPoller(std::string videoID, RemoteEditFetch fetch, RemoteEditTarget target, Executor& main,
                                   Executor& work, ToastCenter* toasts)
    : videoID_(std::move(videoID)),
      fetch_(std::move(fetch)),
      target_(std::move(target)),
      main_(main),
      work_(work),
      toasts_(toasts) {
    // A reopened project does not apply the record it already applied before it was closed.
    if (const auto state = target_.state.lock(); state && state->values().lastAppliedRemoteUpdatedAt) {
        lastSeen_ = *state->values().lastAppliedRemoteUpdatedAt;
    }
}

RemoteEditPoller::~RemoteEditPoller() { stop(); }

void RemoteEditPoller::start(Duration interval) {
    stop();
    interval_ = std::max(interval, kMinimumInterval);
    running_ = true;
    scheduleNext(generation_);
}

void RemoteEditPoller::stop() {
    ++generation_;
    running_ = false;
    timer_.cancel();
    if (inFlight_) inFlight_->request_stop();
    inFlight_.reset();
}

void RemoteEditPoller::scheduleNext(std::uint64_t generation) {
    std::weak_ptr<RemoteEditPoller> weak = weak_from_this();
    timer_ = main_.postAfter(interval_, [weak, generation] {
        if (auto self = weak.lock()) self->tick(generation);
    });
}

void RemoteEditPoller::tick(std::uint64_t generation) {
    if (generation != generation_) return;
    if (target_.state.expired()) {
        running_ = false;
        if (onPolled_) onPolled_(RemoteEditPollOutcome::editorGone);
        return;
    }
    auto source = std::make_shared<std::stop_source>();
    inFlight_ = source;
    std::weak_ptr<RemoteEditPoller> weak = weak_from_this();
    // The fetch copies what it needs: the poller may be gone by the time the answer comes back.
    work_.post([weak, generation, source, fetch = fetch_, videoID = videoID_, &main = main_] {
        auto fetched = fetchQuietly(fetch, videoID, source->get_token());
        if (source->stop_requested()) return;
        main.post([weak, generation, fetched = std::move(fetched)] {
            auto self = weak.lock();
            if (!self || generation != self->generation_) return;
            self->inFlight_.reset();
            const auto outcome = self->handle(fetched);
            if (outcome == RemoteEditPollOutcome::editorGone) {
                self->running_ = false;
            } else {
                self->scheduleNext(generation);
            }
            if (self->onPolled_) self->onPolled_(outcome);
        });
    });
}

RemoteEditPollOutcome RemoteEditPoller::pollNow(std::stop_token stop, std::string* error) {
    if (target_.state.expired()) return RemoteEditPollOutcome::editorGone;
    const auto fetched = fetchQuietly(fetch_, videoID_, stop);
    if (error) *error = fetched.error;
    return handle(fetched);
}

RemoteEditPollOutcome RemoteEditPoller::handle(const Fetched& fetched) {
    const auto state = target_.state.lock();
    if (!state) return RemoteEditPollOutcome::editorGone;
    if (!fetched.ok) return RemoteEditPollOutcome::failed;
    if (!fetched.record) return RemoteEditPollOutcome::noRecord;

    const auto& fields = fetched.record->fields;
    const auto updatedAtField = fields.find("updated_at");
    if (updatedAtField == fields.end() || !updatedAtField->is_string()) return RemoteEditPollOutcome::unchanged;
    const auto updatedAt = parseIso8601(updatedAtField->get_ref<const std::string&>());
    if (!updatedAt || *updatedAt <= lastSeen_) return RemoteEditPollOutcome::unchanged;
    lastSeen_ = *updatedAt;

    const auto markSeen = [&] {
        state->modify([&](EditorValues& values) { values.lastAppliedRemoteUpdatedAt = *updatedAt; });
    };
    const auto save = [&] {
        if (!target_.save) return;
        try {
            target_.save();
        } catch (const std::exception& error) {
            log::error(log_area::kRemoteEdits, "remote edits of video %s applied but not saved: %s", videoID_.c_str(),
                       error.what());
        }
    };

    if (suppressNextEcho_) {
        suppressNextEcho_ = false;
        markSeen();
        save();
        return RemoteEditPollOutcome::echoed;
    }

    std::string error;
    const auto edits = videoEditsOutFromJson(fields, &error);
    if (!edits) {
        // The date is taken, so an unreadable record is not retried every five seconds.
        log::warning(log_area::kRemoteEdits, "remote edit record of video %s skipped: %s", videoID_.c_str(),
                     error.c_str());
        return RemoteEditPollOutcome::unchanged;
    }
    applyRemoteEdits(*state, *edits);
    markSeen();
    save();
    if (toasts_) toasts_->post(ToastLevel::info, kRemoteEditToastTitle, std::string(kRemoteEditToastDetail));
    return RemoteEditPollOutcome::applied;
}

}  // namespace orvane
