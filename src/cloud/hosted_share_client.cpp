#include "cloud/hosted_share_client.h"

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "cloud/signed_upload.h"

namespace orvane {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

// The backend's own words for an over-size upload become the size error the export retries on.
[[noreturn]] void rethrowShareError(const RemoteAPIError& error) {
    const auto lower = toLowerAscii(error.what());
    if ((error.kind() == RemoteAPIError::Kind::http && error.status() == 413) ||
        lower.find("payload too large") != std::string::npos ||
        lower.find("maximum allowed size") != std::string::npos) {
        throw ShareTooLargeError(error.what());
    }
    if (error.kind() == RemoteAPIError::Kind::missingAuth) throw ShareUploadError(kHostedSignInRequired);
    throw error;
}

}  // namespace

HostedAPIShareClient::HostedAPIShareClient(std::shared_ptr<RemoteAPIClient> api, std::shared_ptr<HttpTransport> storage,
                                           RemoteAPIClient::TokenProvider currentToken, RefreshAfterRejection refresh,
                                           HostedShareOptions options)
    : api_(std::move(api)),
      storage_(std::move(storage)),
      currentToken_(std::move(currentToken)),
      refresh_(std::move(refresh)),
      options_(std::move(options)) {
    if (options_.temporaryFolder.empty()) options_.temporaryFolder = fs::temp_directory_path();
}

template <typename Call>
auto HostedAPIShareClient::authenticated(Call&& call) -> decltype(call()) {
    try {
        return withOneRefresh(currentToken_, refresh_, std::forward<Call>(call));
    } catch (const RemoteAPIError& error) {
        rethrowShareError(error);
    }
}

Json HostedAPIShareClient::describe(const fs::path& file, const ShareRequest& request) const {
    Json body{{"title", request.title},
              {"duration_seconds", request.durationSeconds},
              {"width", request.width},
              {"height", request.height},
              {"source_kind", "recording"},
              {"export_kind", std::string(rawValue(request.preset))},
              {"permission", request.permission},
              {"filename", file.filename().string()},
              {"content_type", uploadContentType(file)},
              {"size_bytes", fs::file_size(file)},
              {"frame_rate", request.fps},
              {"assets", Json::array()}};
    if (options_.teamID) body["team_id"] = *options_.teamID;
    if (options_.replyToShareToken) body["reply_to_share_token"] = *options_.replyToShareToken;
    if (request.sidecar) {
        body["sidecar_filename"] = request.sidecar->filename().string();
        body["sidecar_content_type"] = "application/json";
        body["sidecar_size_bytes"] = fs::file_size(*request.sidecar);
    }
    return body;
}

void HostedAPIShareClient::uploadTargets(const HostedDirectUploadResponse& targets, const fs::path& file,
                                         const ShareRequest& request, std::stop_token stop) {
    HttpUploadProgress progress;
    if (request.uploadProgress) {
        progress = [&request](std::uint64_t sent, std::uint64_t total) {
            if (total > 0) request.uploadProgress(static_cast<double>(sent) / static_cast<double>(total));
        };
    }
    uploadToSignedTarget(*storage_, targets.video, file, options_.temporaryFolder, stop, progress);
    if (targets.sidecar && request.sidecar) {
        uploadToSignedTarget(*storage_, *targets.sidecar, *request.sidecar, options_.temporaryFolder, stop);
    }
    // No assets or thumbnail are offered, so every asset target names a file this client never sent;
    // the service already holds those it lists without an upload.
    for (const auto& result : targets.assetResults) {
        if (result.upload)
            log::warning(log_area::kShare, "the service asked for an asset that was not offered: %s",
                         result.filename.c_str());
    }
}

ShareResult HostedAPIShareClient::finish(const HostedShareResponse& share) {
    {
        std::lock_guard lock(mutex_);
        lastShare_ = share;
    }
    ShareResult result;
    result.url = share.url;
    result.videoID = share.videoID;
    result.token = share.token;
    result.permission = share.permission;
    result.shareID = share.shareID;
    result.apiBaseURL = api_->baseURL();
    return result;
}

ShareResult HostedAPIShareClient::upload(const fs::path& file, const ShareRequest& request, std::stop_token stop) {
    if (!currentToken_ || !currentToken_()) throw ShareUploadError(kHostedSignInRequired);
    const auto body = describe(file, request);
    const auto targets = authenticated([&] { return api_->startHostedDirectUpload(body, stop); });
    uploadTargets(targets, file, request, stop);
    return finish(authenticated([&] { return api_->completeHostedDirectUpload(targets.uploadID, stop); }));
}

ShareResult HostedAPIShareClient::update(const fs::path& file, const ShareRequest& request, const ShareResult& existing,
                                         std::stop_token stop) {
    if (!currentToken_ || !currentToken_()) throw ShareUploadError(kHostedSignInRequired);
    if (!request.sidecar) throw ShareUploadError("Direct revision upload requires a sidecar.");
    const auto shareID = existing.shareID ? existing.shareID : existing.token;
    if (!shareID) return upload(file, request, stop);
    const auto body = describe(file, request);
    const auto targets = authenticated([&] { return api_->startRevisionDirectUpload(*shareID, body, stop); });
    if (!targets.sidecar)
        throw ShareUploadError("Direct share revision response did not include a sidecar upload URL.");
    uploadTargets(targets, file, request, stop);
    return finish(authenticated([&] { return api_->completeRevisionDirectUpload(*shareID, targets.uploadID, stop); }));
}

std::optional<HostedShareResponse> HostedAPIShareClient::lastShare() const {
    std::lock_guard lock(mutex_);
    return lastShare_;
}

}  // namespace orvane
