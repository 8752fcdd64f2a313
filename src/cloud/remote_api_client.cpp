#include "cloud/remote_api_client.h"

#include "base/text.h"
#include "cloud/supabase_auth_client.h"

namespace orvane {

using Json = nlohmann::json;

namespace {

// A token this long is not one the auth service issued; sending it would only leak garbage into headers.
constexpr std::size_t kMaxTokenLength = 8192;

bool isUtf8(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::exception&) {
        return false;
    }
}

// Reads one record's keys with the strict rules of the default decoder: required keys must be
// there with their type; optional keys may be absent or null.
class Reader {
public:
    Reader(const Json& json, std::string record) : json_(json), record_(std::move(record)) {
        if (!json_.is_object()) fail("is not an object");
    }

    std::string string(const char* key) const { return required<std::string>(key, &Json::is_string, "a string"); }
    std::optional<std::string> optionalString(const char* key) const {
        return optional<std::string>(key, &Json::is_string, "a string");
    }
    bool boolean(const char* key) const { return required<bool>(key, &Json::is_boolean, "a boolean"); }
    std::optional<bool> optionalBoolean(const char* key) const {
        return optional<bool>(key, &Json::is_boolean, "a boolean");
    }
    long long integer(const char* key) const {
        return required<long long>(key, &Json::is_number_integer, "a whole number");
    }
    double number(const char* key) const { return required<double>(key, &Json::is_number, "a number"); }
    std::optional<double> optionalNumber(const char* key) const {
        return optional<double>(key, &Json::is_number, "a number");
    }
    const Json* optionalValue(const char* key) const {
        const auto found = json_.find(key);
        return found == json_.end() || found->is_null() ? nullptr : &*found;
    }
    const Json& value(const char* key) const {
        const auto* found = optionalValue(key);
        if (!found) fail(std::string("has no \"") + key + "\"");
        return *found;
    }

    [[noreturn]] void fail(const std::string& what) const {
        throw RemoteAPIError::decoding(record_ + " " + what + ".");
    }

private:
    template <typename T>
    std::optional<T> optional(const char* key, bool (Json::*is)() const noexcept, const char* kind) const {
        const auto* found = optionalValue(key);
        if (!found) return std::nullopt;
        if (!((*found).*is)()) fail(std::string("\"") + key + "\" is not " + kind);
        return found->get<T>();
    }
    template <typename T>
    T required(const char* key, bool (Json::*is)() const noexcept, const char* kind) const {
        auto result = optional<T>(key, is, kind);
        if (!result) fail(std::string("has no \"") + key + "\"");
        return std::move(*result);
    }

    const Json& json_;
    std::string record_;
};

template <typename T, typename Decode>
std::vector<T> decodeArray(const Json& json, const char* record, Decode decode) {
    if (!json.is_array()) throw RemoteAPIError::decoding(std::string("The list of ") + record + " is not an array.");
    std::vector<T> out;
    for (const auto& item : json) out.push_back(decode(item));
    return out;
}

HostedSignedUploadTarget decodeTarget(const Json& json) {
    Reader r(json, "HostedSignedUploadTarget");
    return {r.string("name"), r.string("path"), r.string("signed_url"), r.string("token"), r.string("content_type")};
}

std::optional<HostedSignedUploadTarget> optionalTarget(const Reader& r, const char* key) {
    if (const auto* value = r.optionalValue(key)) return decodeTarget(*value);
    return std::nullopt;
}

ZantTeam decodeTeam(const Json& json) {
    Reader r(json, "ZantTeam");
    return {r.string("id"),
            r.string("name"),
            r.optionalString("slug"),
            r.optionalString("avatar_url"),
            r.optionalString("role"),
            r.optionalString("joined_at"),
            r.optionalBoolean("is_personal")};
}

ZantProfile decodeProfile(const Json& json) {
    Reader r(json, "ZantProfile");
    return {r.string("id"), r.optionalString("email"), r.optionalString("display_name"), r.optionalString("avatar_url"),
            r.optionalString("default_team_id")};
}

ZantTeamMember decodeMember(const Json& json) {
    Reader r(json, "ZantTeamMember");
    ZantTeamMember member{r.string("team_id"), r.string("user_id"), r.string("role"), r.string("joined_at"), {}};
    if (const auto* profile = r.optionalValue("profile")) member.profile = decodeProfile(*profile);
    return member;
}

ZantTeamLibraryItem decodeLibraryItem(const Json& json) {
    Reader r(json, "ZantTeamLibraryItem");
    ZantTeamLibraryItem item;
    item.videoID = r.string("video_id");
    item.teamID = r.string("team_id");
    item.ownerID = r.optionalString("owner_id");
    item.ownerName = r.optionalString("owner_name");
    item.ownerEmail = r.optionalString("owner_email");
    item.title = r.optionalString("title");
    item.durationSeconds = r.optionalNumber("duration_seconds");
    item.folderID = r.optionalString("folder_id");
    item.folderName = r.optionalString("folder_name");
    item.shareID = r.string("share_id");
    item.shareToken = r.string("share_token");
    item.shareURL = r.string("share_url");
    item.sharePermission = r.string("share_permission");
    item.sharedAt = r.optionalString("shared_at");
    item.videoURL = r.optionalString("video_url");
    item.shareViewCount = r.integer("share_view_count");
    item.commentsCount = r.integer("comments_count");
    item.reactionsCount = r.integer("reactions_count");
    item.repliesCount = r.integer("replies_count");
    item.uniqueViewers = r.integer("unique_viewers");
    item.totalWatchSeconds = r.number("total_watch_seconds");
    item.maxWatchSeconds = r.number("max_watch_seconds");
    item.lastViewedAt = r.optionalString("last_viewed_at");
    return item;
}

ZantInvitation decodeInvitation(const Json& json) {
    Reader r(json, "ZantInvitation");
    ZantInvitation invitation;
    invitation.id = r.string("id");
    invitation.teamID = r.string("team_id");
    invitation.email = r.string("email");
    invitation.role = r.string("role");
    invitation.token = r.string("token");
    invitation.inviteURL = r.optionalString("invite_url");
    invitation.emailDeliveryStatus = r.optionalString("email_delivery_status");
    invitation.emailDeliveryProvider = r.optionalString("email_delivery_provider");
    invitation.emailDeliveryID = r.optionalString("email_delivery_id");
    invitation.expiresAt = r.string("expires_at");
    invitation.acceptedAt = r.optionalString("accepted_at");
    invitation.createdAt = r.string("created_at");
    return invitation;
}

ZantTweetResult decodeTweet(const Json& json) {
    Reader r(json, "ZantTweetResult");
    return {r.string("tweet_id"), r.string("url"), r.string("text")};
}

void addKnown(Json& body, const char* key, const std::optional<std::string>& value) {
    if (value) body[key] = *value;
}

Json aiBody(const HostedAIRequest& request) {
    Json body{{"length", request.length}, {"audience", request.audience}, {"style", request.style}};
    addKnown(body, "video_id", request.videoID);
    addKnown(body, "team_id", request.teamID);
    addKnown(body, "client_video_id", request.clientVideoID);
    addKnown(body, "model_id", request.modelID);
    if (request.durationSeconds) body["duration_seconds"] = *request.durationSeconds;
    return body;
}

// The typed keys of an edit state; anything else the backend adds is kept as it came.
RemoteVideoEdits decodeVideoEdits(const Json& json) {
    Reader r(json, "VideoEditsOut");
    RemoteVideoEdits edits{r.string("video_id"), json};
    for (const char* key : {"updated_at", "window_chrome_title", "cursor_ring_style", "background",
                            "background_image_file", "chrome_style", "export_aspect", "cursor_visual_style",
                            "cursor_click_animation_style", "cursor_icon_symbol"}) {
        r.optionalString(key);
    }
    for (const char* key :
         {"trim_start", "trim_end", "original_audio_volume", "voice_track_volume", "background_music_volume", "inset",
          "corner_radius", "camera_smoothing", "zoom_reactive_face_cam_scale", "cursor_click_sound_volume"}) {
        r.optionalNumber(key);
    }
    for (const char* key :
         {"show_window_chrome", "show_cursor_ring", "draws_synthetic_cursor", "automatic_zooms_suppressed",
          "show_annotations", "show_captions", "zoom_reactive_face_cam", "cursor_motion_blur", "cursor_click_sounds"}) {
        r.optionalBoolean(key);
    }
    for (const char* key : {"zoom_regions", "mute_regions", "clips", "voice_clips", "video_overlays", "annotations",
                            "cursor_interactions", "cursor_style_overrides", "speed_ramps", "set_fields"}) {
        if (const auto* value = r.optionalValue(key); value && !value->is_array()) {
            r.fail(std::string("\"") + key + "\" is not an array");
        }
    }
    if (const auto* fields = r.optionalValue("set_fields")) {
        for (const auto& field : *fields) {
            if (!field.is_string()) r.fail("\"set_fields\" holds something other than text");
        }
    }
    return edits;
}

}  // namespace

RemoteAPIError RemoteAPIError::http(int status, const std::string& message) {
    auto text = replaceAllIgnoringCase(message, "supabase", "backend");
    const auto what = "API error (" + std::to_string(status) + "): " + text;
    return RemoteAPIError(Kind::http, status, std::move(text), what);
}
RemoteAPIError RemoteAPIError::decoding(const std::string& description) {
    return RemoteAPIError(Kind::decoding, 0, {}, "Could not decode response: " + description);
}
RemoteAPIError RemoteAPIError::missingAuth() { return RemoteAPIError(Kind::missingAuth, 0, {}, "Not signed in."); }
RemoteAPIError RemoteAPIError::invalidURL() { return RemoteAPIError(Kind::invalidURL, 0, {}, "Invalid API URL."); }
RemoteAPIError RemoteAPIError::invalidResponse() {
    return RemoteAPIError(Kind::invalidResponse, 0, {}, "Unexpected response from API.");
}

std::string describeForService(const std::exception& error, const std::string& serviceName) {
    if (const auto* api = dynamic_cast<const RemoteAPIError*>(&error);
        api && api->kind() == RemoteAPIError::Kind::missingAuth) {
        return "Couldn't reach " + serviceName + " right now. Try again.";
    }
    return error.what();
}

HostedShareResponse decodeHostedShareResponse(const Json& json) {
    Reader r(json, "HostedShareResponse");
    HostedShareResponse share;
    share.videoID = r.string("video_id");
    share.shareID = r.string("share_id");
    share.token = r.string("token");
    share.url = r.string("url");
    share.videoURL = r.string("video_url");
    share.videoPath = r.string("video_path");
    share.sidecarURL = r.optionalString("sidecar_url");
    share.sidecarPath = r.optionalString("sidecar_path");
    if (const auto* assets = r.optionalValue("asset_urls")) {
        if (!assets->is_object()) r.fail("\"asset_urls\" is not an object");
        for (const auto& [name, url] : assets->items()) {
            if (!url.is_string()) r.fail("\"asset_urls\" holds something other than text");
            share.assetURLs[name] = url.get<std::string>();
        }
    }
    share.permission = r.optionalString("permission");
    return share;
}

HostedDirectUploadResponse decodeHostedDirectUploadResponse(const Json& json) {
    Reader r(json, "HostedDirectUploadResponse");
    HostedDirectUploadResponse upload;
    upload.uploadID = r.string("upload_id");
    upload.video = decodeTarget(r.value("video"));
    upload.sidecar = optionalTarget(r, "sidecar");
    upload.thumbnail = optionalTarget(r, "thumbnail");
    upload.assets = decodeArray<HostedSignedUploadTarget>(r.value("assets"), "assets", decodeTarget);
    upload.assetResults = decodeArray<
        HostedDirectUploadAssetResult>(r.value("asset_results"), "asset results", [](const Json& item) {
        Reader ar(item, "HostedDirectUploadAssetResult");
        return HostedDirectUploadAssetResult{ar.string("filename"), ar.string("sha256"), optionalTarget(ar, "upload")};
    });
    return upload;
}

RemoteAPIClient::RemoteAPIClient(std::string baseURL, std::shared_ptr<HttpTransport> transport,
                                 TokenProvider tokenProvider)
    : baseURL_(std::move(baseURL)), transport_(std::move(transport)), tokenProvider_(std::move(tokenProvider)) {}

Json RemoteAPIClient::send(const Call& call, std::stop_token stop) { return perform(call, nullptr, stop); }

Json RemoteAPIClient::perform(const Call& call, const FormBody* form, std::stop_token stop) {
    std::lock_guard serial(callMutex_);
    const auto token = tokenProvider_ ? tokenProvider_() : std::nullopt;
    if (!token || token->empty() || token->size() >= kMaxTokenLength) throw RemoteAPIError::missingAuth();
    if (!isHttpURL(baseURL_)) throw RemoteAPIError::invalidURL();

    HttpRequest request;
    request.method = call.method;
    request.url = joinURL(baseURL_, call.path, call.query);
    request.timeout = std::chrono::seconds(60);
    request.headers = {{"Authorization", "Bearer " + *token}, {"Accept", "application/json"}};
    if (call.body) {
        request.headers.emplace_back("Content-Type", "application/json");
        request.body = call.body->dump();
    } else if (form) {
        request.headers.emplace_back("Content-Type", form->contentType);
        request.body = HttpFileBody{form->file};
        // A whole video in one request takes as long as the line needs, as storage uploads do.
        request.timeout = std::chrono::seconds(3600);
        request.uploadProgress = form->progress;
    }
    HttpResponse response;
    try {
        response = transport_->send(request, stop);
    } catch (const HttpTransportError& error) {
        if (error.kind() == HttpTransportError::Kind::badURL) throw RemoteAPIError::invalidURL();
        throw;
    }
    if (response.status < 100) throw RemoteAPIError::invalidResponse();
    if (!response.ok()) {
        std::string message;
        const auto json = Json::parse(response.body, nullptr, false);
        if (json.is_object() && json.contains("detail")) {
            const auto& detail = json["detail"];
            message = detail.is_string() ? detail.get<std::string>() : detail.dump();
        } else if (isUtf8(response.body)) {
            message = response.body;
        }
        // A server echoing the request back must not put the token on screen.
        throw RemoteAPIError::http(response.status, redactSecrets(message, {*token}));
    }
    if (response.body.empty()) return nullptr;
    auto json = Json::parse(response.body, nullptr, false);
    if (json.is_discarded()) throw RemoteAPIError::decoding("The answer is not valid JSON.");
    return json;
}

std::optional<RemoteVideoEdits> RemoteAPIClient::videoEdits(const std::string& videoID, std::stop_token stop) {
    try {
        return decodeVideoEdits(send({"GET", {"videos", videoID, "edit"}, {}, std::nullopt}, stop));
    } catch (const RemoteAPIError& error) {
        // An upload the backend keeps no edits for.
        if (error.kind() == RemoteAPIError::Kind::http && error.status() == 404) return std::nullopt;
        throw;
    }
}

SetEditResult RemoteAPIClient::setEdits(const std::string& videoID, const Json& params, std::stop_token stop) {
    const auto json = send({"POST", {"videos", videoID, "edit"}, {}, Json{{"params", params}}}, stop);
    Reader r(json, "SetEditResult");
    return {r.boolean("ok"), r.string("command")};
}

std::vector<ZantTeam> RemoteAPIClient::teams(std::stop_token stop) {
    return decodeArray<ZantTeam>(send({"GET", {"teams"}, {}, std::nullopt}, stop), "teams", decodeTeam);
}

ZantTeamUsage RemoteAPIClient::teamUsage(const std::string& teamID, std::stop_token stop) {
    const auto json = send({"GET", {"teams", teamID, "usage"}, {}, std::nullopt}, stop);
    Reader r(json, "ZantTeamUsage");
    return {r.string("team_id"), r.integer("members"), r.integer("pending_invites")};
}

std::vector<ZantTeamLibraryItem> RemoteAPIClient::teamLibrary(const std::string& teamID, int limit, int offset,
                                                              std::stop_token stop) {
    const auto json = send({"GET",
                            {"teams", teamID, "library"},
                            {{"limit", std::to_string(limit)}, {"offset", std::to_string(offset)}},
                            std::nullopt},
                           stop);
    return decodeArray<ZantTeamLibraryItem>(json, "library items", decodeLibraryItem);
}

std::vector<ZantTeamMember> RemoteAPIClient::teamMembers(const std::string& teamID, std::stop_token stop) {
    return decodeArray<ZantTeamMember>(send({"GET", {"teams", teamID, "members"}, {}, std::nullopt}, stop),
                                       "team members", decodeMember);
}

std::vector<ZantInvitation> RemoteAPIClient::invitations(const std::string& teamID, std::stop_token stop) {
    return decodeArray<ZantInvitation>(send({"GET", {"teams", teamID, "invitations"}, {}, std::nullopt}, stop),
                                       "invitations", decodeInvitation);
}

ZantInvitation RemoteAPIClient::invite(const std::string& teamID, const std::string& email, const std::string& role,
                                       std::stop_token stop) {
    return decodeInvitation(
        send({"POST", {"teams", teamID, "invitations"}, {}, Json{{"email", email}, {"role", role}}}, stop));
}

void RemoteAPIClient::revokeInvitation(const std::string& teamID, const std::string& invitationID,
                                       std::stop_token stop) {
    send({"DELETE", {"teams", teamID, "invitations", invitationID}, {}, std::nullopt}, stop);
}

void RemoteAPIClient::acceptInvitation(const std::string& token, std::stop_token stop) {
    send({"POST", {"invitations", "accept"}, {}, Json{{"token", token}}}, stop);
}

void RemoteAPIClient::deleteShare(const std::string& shareID, std::stop_token stop) {
    send({"DELETE", {"shares", shareID}, {}, std::nullopt}, stop);
}

HostedDirectUploadResponse RemoteAPIClient::startHostedDirectUpload(const Json& body, std::stop_token stop) {
    return decodeHostedDirectUploadResponse(
        send({"POST", {"videos", "hosted-share", "direct-upload"}, {}, body}, stop));
}

HostedShareResponse RemoteAPIClient::completeHostedDirectUpload(const std::string& uploadID, std::stop_token stop) {
    return decodeHostedShareResponse(
        send({"POST", {"videos", "hosted-share", "direct-upload", uploadID, "complete"}, {}, std::nullopt}, stop));
}

HostedDirectUploadResponse RemoteAPIClient::startRevisionDirectUpload(const std::string& shareID, const Json& body,
                                                                      std::stop_token stop) {
    return decodeHostedDirectUploadResponse(
        send({"POST", {"shares", shareID, "revision", "direct-upload"}, {}, body}, stop));
}

HostedShareResponse RemoteAPIClient::completeRevisionDirectUpload(const std::string& shareID,
                                                                  const std::string& uploadID, std::stop_token stop) {
    return decodeHostedShareResponse(
        send({"POST", {"shares", shareID, "revision", "direct-upload", uploadID, "complete"}, {}, std::nullopt}, stop));
}

HostedShareResponse RemoteAPIClient::uploadHostedShareForm(const std::filesystem::path& form,
                                                           const std::string& contentType, std::stop_token stop,
                                                           const HttpUploadProgress& progress) {
    const FormBody body{form, contentType, progress};
    return decodeHostedShareResponse(perform({"POST", {"videos", "hosted-share"}, {}, std::nullopt}, &body, stop));
}

HostedShareResponse RemoteAPIClient::replaceShareContentForm(const std::string& shareID,
                                                             const std::filesystem::path& form,
                                                             const std::string& contentType, std::stop_token stop,
                                                             const HttpUploadProgress& progress) {
    const FormBody body{form, contentType, progress};
    return decodeHostedShareResponse(
        perform({"POST", {"shares", shareID, "revision", "owner"}, {}, std::nullopt}, &body, stop));
}

std::vector<TeamDomain> RemoteAPIClient::teamDomains(const std::string& teamID, std::stop_token stop) {
    return decodeArray<TeamDomain>(
        send({"GET", {"teams", teamID, "domains"}, {}, std::nullopt}, stop), "domains", [](const Json& item) {
            Reader r(item, "TeamDomain");
            return TeamDomain{r.string("id"), r.string("team_id"), r.string("domain"), r.optionalString("verified_at")};
        });
}

std::vector<ZantModelCatalogItem> RemoteAPIClient::modelCatalog(std::stop_token stop) {
    return decodeArray<ZantModelCatalogItem>(
        send({"GET", {"billing", "model-catalog"}, {}, std::nullopt}, stop), "models", [](const Json& item) {
            Reader r(item, "ZantModelCatalogItem");
            return ZantModelCatalogItem{r.string("provider"),   r.string("model_id"),      r.string("display_name"),
                                        r.string("capability"), r.string("billing_class"), r.boolean("is_default"),
                                        r.boolean("enabled")};
        });
}

SetEditResult RemoteAPIClient::setAudioEnhancement(const std::string& videoID, const std::optional<std::string>& preset,
                                                   std::optional<double> targetLUFS, std::stop_token stop) {
    Json enhance = nullptr;
    if (preset) {
        enhance = Json{{"preset", *preset}};
        if (targetLUFS) enhance["target_lufs"] = *targetLUFS;
    }
    return setEdits(videoID, Json{{"audio_enhance", enhance}}, stop);
}

HostedAIScriptResponse RemoteAPIClient::aiScript(const HostedAIRequest& request, std::stop_token stop) {
    auto body = aiBody(request);
    body["provider"] = request.provider;
    addKnown(body, "topic", request.topic);
    addKnown(body, "visible_code_summary", request.visibleCodeSummary);
    addKnown(body, "source_context", request.sourceContext);
    const auto json = send({"POST", {"ai", "script"}, {}, body}, stop);
    Reader r(json, "HostedAIScriptResponse");
    return {r.string("script"), r.string("provider"), r.string("model_id"), r.string("billing_class")};
}

HostedAIVoiceoverResponse RemoteAPIClient::aiVoiceover(const HostedAIRequest& request, std::stop_token stop) {
    auto body = aiBody(request);
    body["voice_id"] = request.voiceID;
    body["text"] = request.text;
    const auto json = send({"POST", {"ai", "voiceover"}, {}, body}, stop);
    Reader r(json, "HostedAIVoiceoverResponse");
    return {r.string("audio_base64"), r.string("content_type"), r.string("provider"),
            r.string("model_id"),     r.string("voice_id"),     r.string("billing_class")};
}

std::vector<ZantConnection> RemoteAPIClient::connections(std::stop_token stop) {
    return decodeArray<ZantConnection>(send({"GET", {"me", "connections"}, {}, std::nullopt}, stop), "connections",
                                       [](const Json& item) {
                                           Reader r(item, "ZantConnection");
                                           ZantConnection connection{r.string("provider"),
                                                                     r.optionalString("provider_user_id"),
                                                                     r.optionalString("provider_username"),
                                                                     {},
                                                                     r.string("created_at"),
                                                                     r.string("updated_at")};
                                           const auto& scopes = r.value("scopes");
                                           if (!scopes.is_array()) r.fail("\"scopes\" is not an array");
                                           for (const auto& scope : scopes) {
                                               if (!scope.is_string())
                                                   r.fail("\"scopes\" holds something other than text");
                                               connection.scopes.push_back(scope.get<std::string>());
                                           }
                                           return connection;
                                       });
}

void RemoteAPIClient::disconnect(const std::string& provider, std::stop_token stop) {
    send({"DELETE", {"me", "connections", provider}, {}, std::nullopt}, stop);
}

ZantOAuthStart RemoteAPIClient::startXAuthorization(std::stop_token stop) {
    const auto json = send({"POST", {"oauth", "twitter", "start"}, {}, std::nullopt}, stop);
    Reader r(json, "ZantOAuthStart");
    return {r.string("authorize_url"), r.string("provider"), r.integer("expires_in_seconds")};
}

ZantTweetResult RemoteAPIClient::postTextToX(const std::string& text, std::stop_token stop) {
    return decodeTweet(send({"POST", {"share", "twitter"}, {}, Json{{"text", text}}}, stop));
}

ZantTweetResult RemoteAPIClient::postShareToX(const std::string& shareToken, const std::string& text,
                                              std::stop_token stop) {
    return decodeTweet(
        send({"POST", {"share", "twitter", "video"}, {}, Json{{"share_token", shareToken}, {"text", text}}}, stop));
}

}  // namespace orvane
