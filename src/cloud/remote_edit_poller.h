#pragma once

// Keeps an open project in step with the backend's edit record of its uploaded video: an agent or
// the command-line tool changes the edits there, and the editor picks them up on its next poll,
// replacing the local settings and telling the user.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "base/executor.h"
#include "base/toast_center.h"
#include "cloud/remote_api_client.h"
#include "editor/editor_state.h"

namespace orvane {

// The edit record of a video, or nothing when the backend keeps none. Throws on any failure.
using RemoteEditFetch = std::function<std::optional<RemoteVideoEdits>(const std::string& videoID, std::stop_token)>;

// The backend's edits-read call, with the one refresh after a 401 that every account call gets.
RemoteEditFetch backendRemoteEditFetch(std::shared_ptr<RemoteAPIClient> api,
                                       RemoteAPIClient::TokenProvider currentToken, RefreshAfterRejection refresh);

// The open editor the poller updates. `state` is held weakly: once the editor goes away the poller
// stops at its next check. `save` writes the project; a failure is logged, never shown twice.
struct RemoteEditTarget {
    std::weak_ptr<EditorState> state;
    std::function<void()> save;
};

enum class RemoteEditPollOutcome {
    failed,      // the fetch failed (network, server, decoding); nothing changed
    noRecord,    // the backend keeps no edits for the video
    unchanged,   // no newer record than the last one handled, or an unreadable date
    echoed,      // the echo of the editor's own push: dates updated, edits kept
    applied,     // the record replaced the local edits
    editorGone,  // the editor closed
};

inline constexpr const char* kRemoteEditToastTitle = "Agent updated this video";
inline constexpr const char* kRemoteEditToastDetail =
    "An agent changed this project through the CLI \u2014 your local edits were replaced with the latest.";

// A main-loop object: start, stop and the handling of a record run on `main`; only the HTTP fetch
// runs on `work`, so a slow backend never stalls the editor.
class RemoteEditPoller : public std::enable_shared_from_this<RemoteEditPoller> {
public:
    // The editor polls at this interval; shorter ones are raised to the minimum.
    static constexpr Duration kEditorInterval = std::chrono::seconds(5);
    static constexpr Duration kMinimumInterval = std::chrono::seconds(2);

    // Nothing when the recording's remote video id is empty after trimming: there is nothing to poll.
    static std::shared_ptr<RemoteEditPoller> make(const std::string& remoteVideoID, RemoteEditFetch fetch,
                                                  RemoteEditTarget target, Executor& main, Executor& work,
                                                  ToastCenter* toasts);
    ~RemoteEditPoller();

    const std::string& videoID() const { return videoID_; }

    // Cancels a running loop and starts a new one: first poll after `interval` (at least the minimum).
    void start(Duration interval = kEditorInterval);
    void stop();
    bool isRunning() const { return running_; }

    // Set after the editor pushed its own edits, so the backend's echo is not taken for an agent's.
    void suppressNextRemoteEcho() { suppressNextEcho_ = true; }

    // One poll in the calling thread (which must be `main`'s), for a command that does not loop;
    // a failed fetch leaves its message in `error`.
    RemoteEditPollOutcome pollNow(std::stop_token stop = {}, std::string* error = nullptr);

    // Called on `main` after every poll of the loop, with its outcome.
    void onPolled(std::function<void(RemoteEditPollOutcome)> observer) { onPolled_ = std::move(observer); }

    // The newest record handled so far.
    SystemTime lastSeenUpdatedAt() const { return lastSeen_; }

private:
    struct Fetched {
        bool ok = false;
        std::optional<RemoteVideoEdits> record;
        std::string error;
    };

    RemoteEditPoller(std::string videoID, RemoteEditFetch fetch, RemoteEditTarget target, Executor& main,
                     Executor& work, ToastCenter* toasts);
    static Fetched fetchQuietly(const RemoteEditFetch& fetch, const std::string& videoID, std::stop_token stop);
    RemoteEditPollOutcome handle(const Fetched& fetched);
    void scheduleNext(std::uint64_t generation);
    void tick(std::uint64_t generation);

    std::string videoID_;
    RemoteEditFetch fetch_;
    RemoteEditTarget target_;
    Executor& main_;
    Executor& work_;
    ToastCenter* toasts_;
    std::function<void(RemoteEditPollOutcome)> onPolled_;

    // Touched on `main` only.
    SystemTime lastSeen_ = SystemTime::min();
    bool suppressNextEcho_ = false;
    bool running_ = false;
    Duration interval_ = kEditorInterval;
    // A loop remembers the generation it was started in; a restart or stop makes it end quietly.
    std::uint64_t generation_ = 0;
    TimerHandle timer_;
    // Cancels the fetch in flight when the loop stops.
    std::shared_ptr<std::stop_source> inFlight_;
};

}  // namespace orvane
