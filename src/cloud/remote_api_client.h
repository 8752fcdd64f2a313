#pragma once

// The one client of Orvane's own backend: builds authenticated JSON requests, sends them, maps
// failures to RemoteAPIError and decodes the records. It never retries: a caller that gets a 401
// refreshes the token once and calls again (withOneRefresh below).

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "net/http_transport.h"
#include "net/service_url.h"

namespace orvane {

class RemoteAPIError : public std::runtime_error {
public:
    enum class Kind { http, decoding, missingAuth, invalidURL, invalidResponse };

    static RemoteAPIError http(int status, const std::string& message);
    static RemoteAPIError decoding(const std::string& description);
    static RemoteAPIError missingAuth();
    static RemoteAPIError invalidURL();
    static RemoteAPIError invalidResponse();

    Kind kind() const { return kind_; }
    int status() const { return status_; }
    // The server's text of an http error (after the name replacement).
    const std::string& serverMessage() const { return serverMessage_; }

private:
    RemoteAPIError(Kind kind, int status, std::string serverMessage, const std::string& what)
        : std::runtime_error(what), kind_(kind), status_(status), serverMessage_(std::move(serverMessage)) {}
    Kind kind_;
    int status_ = 0;
    std::string serverMessage_;
};

// The sentence for a failure of a named service: "not signed in" reads as a passing problem.
std::string describeForService(const std::exception& error, const std::string& serviceName);

struct HostedSignedUploadTarget {
    std::string name, path, signedURL, token, contentType;
};

struct HostedDirectUploadAssetResult {
    std::string filename, sha256;
    std::optional<HostedSignedUploadTarget> upload;  // none: the service already holds it
};

struct HostedDirectUploadResponse {
    std::string uploadID;
    HostedSignedUploadTarget video;
    std::optional<HostedSignedUploadTarget> sidecar;
    std::optional<HostedSignedUploadTarget> thumbnail;
    std::vector<HostedSignedUploadTarget> assets;
    std::vector<HostedDirectUploadAssetResult> assetResults;
};

struct HostedShareResponse {
    std::string videoID, shareID, token, url, videoURL, videoPath;
    std::optional<std::string> sidecarURL, sidecarPath;
    std::map<std::string, std::string> assetURLs;
    std::optional<std::string> permission;
};

struct SetEditResult {
    bool ok = false;
    std::string command;
};

// The backend's edit state of an uploaded video: the checked object as sent, for the remote-edit rules.
struct RemoteVideoEdits {
    std::string videoID;
    nlohmann::json fields;
};

struct ZantTeam {
    std::string id, name;
    std::optional<std::string> slug, avatarURL, role, joinedAt;
    std::optional<bool> isPersonal;
};

struct ZantTeamUsage {
    std::string teamID;
    long long members = 0, pendingInvites = 0;
};

struct ZantProfile {
    std::string id;
    std::optional<std::string> email, displayName, avatarURL, defaultTeamID;
};

struct ZantTeamMember {
    std::string teamID, userID, role, joinedAt;
    std::optional<ZantProfile> profile;
};

struct ZantTeamLibraryItem {
    std::string videoID, teamID;
    std::optional<std::string> ownerID, ownerName, ownerEmail, title;
    std::optional<double> durationSeconds;
    std::optional<std::string> folderID, folderName;
    std::string shareID, shareToken, shareURL, sharePermission;
    std::optional<std::string> sharedAt, videoURL;
    long long shareViewCount = 0, commentsCount = 0, reactionsCount = 0, repliesCount = 0, uniqueViewers = 0;
    double totalWatchSeconds = 0, maxWatchSeconds = 0;
    std::optional<std::string> lastViewedAt;
};

struct ZantInvitation {
    std::string id, teamID, email, role, token;
    std::optional<std::string> inviteURL, emailDeliveryStatus, emailDeliveryProvider, emailDeliveryID;
    std::string expiresAt;
    std::optional<std::string> acceptedAt;
    std::string createdAt;
};

struct ZantConnection {
    std::string provider;
    std::optional<std::string> providerUserID, providerUsername;
    std::vector<std::string> scopes;
    std::string createdAt, updatedAt;
};

struct ZantOAuthStart {
    std::string authorizeURL, provider;
    long long expiresInSeconds = 0;
};

struct ZantTweetResult {
    std::string tweetID, url, text;
};

struct ZantModelCatalogItem {
    std::string provider, modelID, displayName, capability, billingClass;
    bool isDefault = false, enabled = false;
};

struct TeamDomain {
    std::string id, teamID, domain;
    std::optional<std::string> verifiedAt;
};

// What the hosted script and voiceover generators are asked; optional fields are sent when known.
struct HostedAIRequest {
    std::string provider;  // script only
    std::string voiceID;   // voiceover only
    std::string text;      // voiceover only
    std::string length, audience, style;
    std::optional<std::string> videoID, teamID, clientVideoID, modelID;
    std::optional<double> durationSeconds;
    std::optional<std::string> topic, visibleCodeSummary, sourceContext;  // script only
};

struct HostedAIScriptResponse {
    std::string script, provider, modelID, billingClass;
};

struct HostedAIVoiceoverResponse {
    std::string audioBase64, contentType, provider, modelID, voiceID, billingClass;
};

// Decoders of the records, exposed for the share clients and tests. Throw RemoteAPIError::decoding.
HostedShareResponse decodeHostedShareResponse(const nlohmann::json& json);
HostedDirectUploadResponse decodeHostedDirectUploadResponse(const nlohmann::json& json);

class RemoteAPIClient {
public:
    // The current access token, or nothing when signed out. May refresh, so may throw.
    using TokenProvider = std::function<std::optional<std::string>()>;

    RemoteAPIClient(std::string baseURL, std::shared_ptr<HttpTransport> transport, TokenProvider tokenProvider);

    const std::string& baseURL() const { return baseURL_; }

    struct Call {
        std::string method = "GET";
        std::vector<std::string> path;
        QueryItems query;
        std::optional<nlohmann::json> body;
    };
    // Sends one authenticated call and answers the decoded 2xx body (null for an empty one).
    nlohmann::json send(const Call& call, std::stop_token stop = {});

    std::optional<RemoteVideoEdits> videoEdits(const std::string& videoID, std::stop_token stop = {});
    SetEditResult setEdits(const std::string& videoID, const nlohmann::json& params, std::stop_token stop = {});

    std::vector<ZantTeam> teams(std::stop_token stop = {});
    ZantTeamUsage teamUsage(const std::string& teamID, std::stop_token stop = {});
    std::vector<ZantTeamLibraryItem> teamLibrary(const std::string& teamID, int limit, int offset,
                                                 std::stop_token stop = {});
    std::vector<ZantTeamMember> teamMembers(const std::string& teamID, std::stop_token stop = {});
    std::vector<ZantInvitation> invitations(const std::string& teamID, std::stop_token stop = {});
    ZantInvitation invite(const std::string& teamID, const std::string& email, const std::string& role,
                          std::stop_token stop = {});
    void revokeInvitation(const std::string& teamID, const std::string& invitationID, std::stop_token stop = {});
    void acceptInvitation(const std::string& token, std::stop_token stop = {});
    void deleteShare(const std::string& shareID, std::stop_token stop = {});
    std::vector<TeamDomain> teamDomains(const std::string& teamID, std::stop_token stop = {});
    std::vector<ZantModelCatalogItem> modelCatalog(std::stop_token stop = {});

    // A preset with an optional loudness target; nothing switches enhancement off.
    SetEditResult setAudioEnhancement(const std::string& videoID, const std::optional<std::string>& preset,
                                      std::optional<double> targetLUFS, std::stop_token stop = {});

    HostedAIScriptResponse aiScript(const HostedAIRequest& request, std::stop_token stop = {});
    HostedAIVoiceoverResponse aiVoiceover(const HostedAIRequest& request, std::stop_token stop = {});

    std::vector<ZantConnection> connections(std::stop_token stop = {});
    void disconnect(const std::string& provider, std::stop_token stop = {});
    ZantOAuthStart startXAuthorization(std::stop_token stop = {});
    ZantTweetResult postTextToX(const std::string& text, std::stop_token stop = {});
    ZantTweetResult postShareToX(const std::string& shareToken, const std::string& text, std::stop_token stop = {});

    HostedDirectUploadResponse startHostedDirectUpload(const nlohmann::json& body, std::stop_token stop = {});
    HostedShareResponse completeHostedDirectUpload(const std::string& uploadID, std::stop_token stop = {});
    HostedDirectUploadResponse startRevisionDirectUpload(const std::string& shareID, const nlohmann::json& body,
                                                         std::stop_token stop = {});
    HostedShareResponse completeRevisionDirectUpload(const std::string& shareID, const std::string& uploadID,
                                                     std::stop_token stop = {});
    // The one-form uploads: a multipart body already spooled to `form`.
    HostedShareResponse uploadHostedShareForm(const std::filesystem::path& form, const std::string& contentType,
                                              std::stop_token stop = {}, const HttpUploadProgress& progress = {});
    HostedShareResponse replaceShareContentForm(const std::string& shareID, const std::filesystem::path& form,
                                                const std::string& contentType, std::stop_token stop = {},
                                                const HttpUploadProgress& progress = {});

private:
    // A body streamed from a file (a multipart form) instead of JSON.
    struct FormBody {
        std::filesystem::path file;
        std::string contentType;
        HttpUploadProgress progress;
    };
    nlohmann::json perform(const Call& call, const FormBody* form, std::stop_token stop);

    std::string baseURL_;
    std::shared_ptr<HttpTransport> transport_;
    TokenProvider tokenProvider_;
    // Calls on one client never overlap.
    std::mutex callMutex_;
};

// Where a caller gets a fresh token after a 401: given the token that was refused, a new one (or
// nothing when signed out).
using RefreshAfterRejection = std::function<std::optional<std::string>(const std::string& rejected)>;

// Runs `call`; when the backend answers 401, refreshes once and runs it once more.
template <typename Call>
auto withOneRefresh(const RemoteAPIClient::TokenProvider& currentToken, const RefreshAfterRejection& refresh,
                    Call&& call) -> decltype(call()) {
    const auto before = currentToken();
    try {
        return call();
    } catch (const RemoteAPIError& error) {
        if (error.kind() != RemoteAPIError::Kind::http || error.status() != 401 || !before) throw;
        if (!refresh(*before)) throw RemoteAPIError::missingAuth();
    }
    return call();
}

}  // namespace orvane
