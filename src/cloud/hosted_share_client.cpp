#include "cloud/hosted_share_client.h"

#include <algorithm>
#include <fstream>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "cloud/signed_upload.h"
#include "export/cache/sha256.h"

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

// A backend without the direct-upload routes answers their start with "not found" or "not allowed".
bool offersNoDirectUpload(const RemoteAPIError& error) {
    return error.kind() == RemoteAPIError::Kind::http && (error.status() == 404 || error.status() == 405);
}

std::string imageContentType(const fs::path& file) {
    const auto extension = toLowerAscii(file.extension().string());
    if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
    if (extension == ".gif") return "image/gif";
    if (extension == ".webp") return "image/webp";
    return "image/png";
}

std::string assetContentType(const fs::path& file) {
    const auto extension = toLowerAscii(file.extension().string());
    if (extension == ".png" || extension == ".jpg" || extension == ".jpeg" || extension == ".gif" ||
        extension == ".webp") {
        return imageContentType(file);
    }
    if (extension == ".m4a") return "audio/mp4";
    if (extension == ".mp3") return "audio/mpeg";
    if (extension == ".wav") return "audio/wav";
    if (extension == ".mov") return "video/quicktime";
    return uploadContentType(file);
}

std::uintmax_t sizeOf(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    return size;
}

// Read in pieces so a long music file never sits in memory whole; no memo is left beside the file.
std::string fileDigest(const fs::path& file, std::stop_token stop) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    Sha256 hash;
    std::string buffer(1 << 20, '\0');
    while (in) {
        if (stop.stop_requested()) throw HttpCancelled();
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.update(reinterpret_cast<const unsigned char*>(buffer.data()), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) throw ShareUploadError("The file " + file.filename().string() + " could not be read.");
    return hash.finishHex();
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

Json HostedAPIShareClient::describe(const fs::path& file, const ShareRequest& request,
                                    const std::vector<std::string>& assetDigests) const {
    Json body{{"title", request.title},
              {"duration_seconds", request.durationSeconds},
              {"width", request.width},
              {"height", request.height},
              {"source_kind", "recording"},
              {"export_kind", std::string(rawValue(request.preset))},
              {"permission", request.permission},
              {"filename", file.filename().string()},
              {"content_type", uploadContentType(file)},
              {"size_bytes", sizeOf(file)},
              {"frame_rate", request.fps},
              {"assets", Json::array()}};
    if (options_.teamID) body["team_id"] = *options_.teamID;
    if (options_.replyToShareToken) body["reply_to_share_token"] = *options_.replyToShareToken;
    if (request.sidecar) {
        body["sidecar_filename"] = request.sidecar->filename().string();
        body["sidecar_content_type"] = "application/json";
        body["sidecar_size_bytes"] = sizeOf(*request.sidecar);
    }
    if (request.thumbnail) {
        body["thumbnail_filename"] = request.thumbnail->filename().string();
        body["thumbnail_content_type"] = imageContentType(*request.thumbnail);
        body["thumbnail_size_bytes"] = sizeOf(*request.thumbnail);
    }
    for (std::size_t i = 0; i < request.assets.size(); ++i) {
        const auto& asset = request.assets[i];
        body["assets"].push_back({{"filename", asset.filename().string()},
                                  {"content_type", assetContentType(asset)},
                                  {"size_bytes", sizeOf(asset)},
                                  {"sha256", assetDigests[i]}});
    }
    return body;
}

void HostedAPIShareClient::uploadTargets(const HostedDirectUploadResponse& targets, const fs::path& file,
                                         const ShareRequest& request, const std::vector<std::string>& assetDigests,
                                         std::stop_token stop) {
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
    if (targets.thumbnail && request.thumbnail) {
        uploadToSignedTarget(*storage_, *targets.thumbnail, *request.thumbnail, options_.temporaryFolder, stop);
    }
    // Only the assets the service does not hold yet come with a target; they are matched by content.
    for (const auto& result : targets.assetResults) {
        if (!result.upload) continue;
        const auto digest = toLowerAscii(result.sha256);
        const auto found = std::find(assetDigests.begin(), assetDigests.end(), digest);
        if (found == assetDigests.end()) {
            log::warning(log_area::kShare, "the service asked for an asset that was not offered: %s",
                         result.filename.c_str());
            continue;
        }
        const auto& asset = request.assets[static_cast<std::size_t>(found - assetDigests.begin())];
        uploadToSignedTarget(*storage_, *result.upload, asset, options_.temporaryFolder, stop);
    }
}

ShareResult HostedAPIShareClient::uploadForm(const fs::path& file, const ShareRequest& request,
                                             const std::optional<std::string>& shareID, std::stop_token stop) {
    // The temporary body is removed however the upload ends, a cancel included.
    MultipartFileBody form(options_.temporaryFolder);
    form.addText("title", request.title);
    form.addText("width", std::to_string(request.width));
    form.addText("height", std::to_string(request.height));
    form.addText("source_kind", "recording");
    form.addText("export_kind", std::string(rawValue(request.preset)));
    form.addText("permission", request.permission);
    form.addText("frame_rate", std::to_string(request.fps));
    if (options_.teamID) form.addText("team_id", *options_.teamID);
    if (options_.replyToShareToken) form.addText("reply_to_share_token", *options_.replyToShareToken);
    form.addFile("file", file.filename().string(), uploadContentType(file), file, stop);
    if (request.sidecar) {
        form.addFile("sidecar", request.sidecar->filename().string(), "application/json", *request.sidecar, stop);
    }
    for (const auto& asset : request.assets) {
        form.addFile("assets", asset.filename().string(), assetContentType(asset), asset, stop);
    }
    form.finish();
    HttpUploadProgress progress;
    if (request.uploadProgress) {
        progress = [&request](std::uint64_t sent, std::uint64_t total) {
            if (total > 0) request.uploadProgress(static_cast<double>(sent) / static_cast<double>(total));
        };
    }
    return finish(authenticated([&] {
        return shareID ? api_->replaceShareContentForm(*shareID, form.file(), form.contentType(), stop, progress)
                       : api_->uploadHostedShareForm(form.file(), form.contentType(), stop, progress);
    }));
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
    std::vector<std::string> digests;
    for (const auto& asset : request.assets) digests.push_back(fileDigest(asset, stop));
    const auto body = describe(file, request, digests);
    HostedDirectUploadResponse targets;
    try {
        targets = withOneRefresh(currentToken_, refresh_, [&] { return api_->startHostedDirectUpload(body, stop); });
    } catch (const RemoteAPIError& error) {
        if (!offersNoDirectUpload(error)) rethrowShareError(error);
        log::info(log_area::kShare, "no direct upload offered; sending the share in one form");
        return uploadForm(file, request, std::nullopt, stop);
    }
    uploadTargets(targets, file, request, digests, stop);
    return finish(authenticated([&] { return api_->completeHostedDirectUpload(targets.uploadID, stop); }));
}

ShareResult HostedAPIShareClient::update(const fs::path& file, const ShareRequest& request, const ShareResult& existing,
                                         std::stop_token stop) {
    if (!currentToken_ || !currentToken_()) throw ShareUploadError(kHostedSignInRequired);
    if (!request.sidecar) throw ShareUploadError("Direct revision upload requires a sidecar.");
    const auto shareID = existing.shareID ? existing.shareID : existing.token;
    if (!shareID) return upload(file, request, stop);
    std::vector<std::string> digests;
    for (const auto& asset : request.assets) digests.push_back(fileDigest(asset, stop));
    const auto body = describe(file, request, digests);
    HostedDirectUploadResponse targets;
    try {
        targets = withOneRefresh(currentToken_, refresh_,
                                 [&] { return api_->startRevisionDirectUpload(*shareID, body, stop); });
    } catch (const RemoteAPIError& error) {
        if (!offersNoDirectUpload(error)) rethrowShareError(error);
        log::info(log_area::kShare, "no direct revision upload offered; replacing the share in one form");
        return uploadForm(file, request, shareID, stop);
    }
    if (!targets.sidecar)
        throw ShareUploadError("Direct share revision response did not include a sidecar upload URL.");
    uploadTargets(targets, file, request, digests, stop);
    return finish(authenticated([&] { return api_->completeRevisionDirectUpload(*shareID, targets.uploadID, stop); }));
}

std::optional<HostedShareResponse> HostedAPIShareClient::lastShare() const {
    std::lock_guard lock(mutex_);
    return lastShare_;
}

}  // namespace orvane
