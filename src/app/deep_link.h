#pragma once

// Incoming URLs of our own schemes (from the command-line tool, a browser page, an agent), parsed
// into typed requests that wait until the shell takes them, and the one reply each caller that
// gave a return address gets.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "base/executor.h"
#include "base/geometry.h"
#include "base/signal.h"
#include "base/uuid.h"
#include "model/agent_recording_request.h"
#include "model/recording_meta.h"

namespace orvane {

class HttpTransport;
class UrlOpener;

struct TeamInvitation {
    std::string token;
    std::optional<std::string> email;
    bool operator==(const TeamInvitation&) const = default;
};

struct OAuthCallback {
    std::string provider;
    std::string status;
    bool operator==(const OAuthCallback&) const = default;
};

struct RecordRequest {
    std::optional<RecordingSourceKind> preferredKind;
    std::optional<std::string> sessionID;
    std::optional<std::string> replyShareID;
    std::optional<std::string> replyAPIBaseURL;
    bool operator==(const RecordRequest&) const = default;
};

// What the shell has not taken yet. Consumers read a field and clear it once they act on it; a
// newer URL of the same kind replaces an untaken request. URLs are kept as the caller wrote them,
// after checking that they parse.
struct DeepLinkPending {
    std::optional<RecordRequest> request;

    std::optional<std::string> importURL;
    bool importOpensEditor = false;
    std::optional<std::string> importSidecarURL;
    std::optional<std::string> importShareToken;
    std::optional<std::string> importAPIBaseURL;
    std::optional<std::string> importTitle;
    std::optional<std::string> importPermission;
    std::optional<Uuid> recentlyImportedRecordingID;

    std::optional<std::string> appendShareID;
    std::optional<std::string> appendShareAPIBaseURL;
    std::optional<std::string> replyShareID;
    std::optional<std::string> replyShareAPIBaseURL;

    std::optional<AgentRecordingRequest> agentRecordingRequest;
    bool agentRecordingBypassesAuth = false;
    bool shareEditingBypassesAuth = false;
    bool permissionSetupBypassesAuth = false;

    std::optional<Uuid> permissionSetupRequestID;
    std::optional<std::string> permissionSetupStep;

    std::optional<OAuthCallback> oauthCallback;
    std::optional<TeamInvitation> teamInvitation;
};

// The value rules of query parameters, shared with anything else that reads deep-link style input.
namespace deep_link_values {
// "1", "true", "yes", "on" / "0", "false", "no", "off", trimmed and in any case; else `fallback`.
bool boolean(const std::optional<std::string>& value, bool fallback);
std::optional<RecordingSourceKind> sourceKind(const std::optional<std::string>& value);
// The value when it parses as an absolute URL.
std::optional<std::string> url(const std::optional<std::string>& value);
std::optional<std::uint32_t> uint32(const std::optional<std::string>& value);
// Seconds: 10 when missing or not a finite number, clamped to 1...3600.
double duration(const std::optional<std::string>& value);
// "x,y,width,height" fractions; the origin clamped into the unit square and the size reduced to
// stay inside it. Nothing for other text or a size that is not positive.
std::optional<Rect> cropRect(const std::optional<std::string>& value);
}  // namespace deep_link_values

// A main-loop object. Replies are sent on `background` (an HTTP GET to a loopback return address,
// or the desktop's opener for any other) and never awaited.
class DeepLink {
public:
    static constexpr Duration kDuplicateWindow = std::chrono::milliseconds(2000);

    DeepLink(std::set<std::string> acceptedSchemes, const Clock& clock, Executor& background,
             std::shared_ptr<HttpTransport> http, std::shared_ptr<UrlOpener> opener);

    // Parses and stores one incoming URL. Anything that is not a well-formed request of ours
    // (another scheme, an unknown host, a missing required value, a repeat within 2 s) is dropped
    // without a word, as links from outside must never fail loudly.
    void handle(std::string_view url);

    DeepLinkPending& pending() { return pending_; }
    const DeepLinkPending& pending() const { return pending_; }

    const std::optional<std::string>& returnURL() const { return returnURL_; }
    const std::optional<std::string>& sessionID() const { return sessionID_; }

    // Reports the outcome to the return address, once: the address and session are cleared.
    // `kind` and `sourceTitle` describe what was recorded.
    void replySuccessWithExport(const std::filesystem::path& exportedFile, std::string_view kind,
                                std::string_view sourceTitle);
    void replySuccessWithShare(std::string_view shareURL, std::string_view kind, std::string_view sourceTitle);
    void replyFailure(std::string_view message);

    // Emitted after a URL changed the pending requests.
    [[nodiscard]] Subscription observe(std::function<void()> observer) {
        return changed_.subscribe([observer = std::move(observer)] { observer(); });
    }

private:
    void reply(std::string resultName, std::string resultValue, std::optional<std::string_view> kind,
               std::optional<std::string_view> sourceTitle);

    std::set<std::string> acceptedSchemes_;
    const Clock& clock_;
    Executor& background_;
    std::shared_ptr<HttpTransport> http_;
    std::shared_ptr<UrlOpener> opener_;

    DeepLinkPending pending_;
    std::optional<std::string> returnURL_;
    std::optional<std::string> sessionID_;
    std::optional<std::string> lastHandledURL_;
    SteadyTime lastHandledAt_{};
    Signal<> changed_;
};

}  // namespace orvane
