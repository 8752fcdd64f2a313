#include "cloud/byo_share_client.h"

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/uuid.h"
#include "cloud/signed_upload.h"
#include "net/service_url.h"

namespace orvane {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

std::optional<std::string> firstString(const Json& json, std::initializer_list<const char*> keys) {
    if (!json.is_object()) return std::nullopt;
    for (const char* key : keys) {
        const auto found = json.find(key);
        if (found != json.end() && found->is_string() && !found->get<std::string>().empty()) {
            return found->get<std::string>();
        }
    }
    return std::nullopt;
}

[[noreturn]] void fail(const HttpResponse& response, const char* fallback) {
    auto text = trimWhitespaceAndNewlines(response.body);
    const auto lower = toLowerAscii(text);
    if (response.status == 413 || lower.find("payload too large") != std::string::npos ||
        lower.find("maximum allowed size") != std::string::npos) {
        throw ShareTooLargeError(text.empty() ? "Payload too large" : text);
    }
    throw ShareUploadError(text.empty() ? fallback : text);
}

// Either a list of names or a map of endpoints; singular and plural names both count.
bool offers(const Json& document, std::string_view singular) {
    const std::string plural = std::string(singular) + "s";
    auto matches = [&](std::string text) {
        text = toLowerAscii(text);
        while (!text.empty() && text.front() == '/') text.erase(0, 1);
        return text == singular || text == plural;
    };
    if (const auto list = document.find("capabilities"); list != document.end() && list->is_array()) {
        for (const auto& item : *list) {
            if (item.is_string() && matches(item.get<std::string>())) return true;
        }
    }
    if (const auto map = document.find("endpoints"); map != document.end()) {
        if (map->is_object()) {
            for (const auto& [key, value] : map->items()) {
                if (matches(key) || (value.is_string() && matches(value.get<std::string>()))) return true;
            }
        } else if (map->is_array()) {
            for (const auto& item : *map) {
                if (item.is_string() && matches(item.get<std::string>())) return true;
            }
        }
    }
    return false;
}

std::optional<std::int64_t> uploadLimit(const Json& document) {
    for (const char* key : {"max_upload_bytes", "maxUploadBytes", "max_upload_size", "maxUploadSize"}) {
        if (const auto found = document.find(key); found != document.end() && found->is_number() && *found > 0) {
            return static_cast<std::int64_t>(found->get<double>());
        }
    }
    for (const char* key : {"max_upload_mb", "maxUploadMB", "max_upload_megabytes"}) {
        if (const auto found = document.find(key); found != document.end() && found->is_number() && *found > 0) {
            return static_cast<std::int64_t>(found->get<double>() * 1'000'000.0);
        }
    }
    return std::nullopt;
}

}  // namespace

BYOBackendShareClient::BYOBackendShareClient(BYOBackendConfig config, std::shared_ptr<HttpTransport> transport)
    : config_(std::move(config)), transport_(std::move(transport)) {
    config_.baseURL = trimTrailingSlashes(trimWhitespaceAndNewlines(config_.baseURL));
    config_.shareHost = trimTrailingSlashes(trimWhitespaceAndNewlines(config_.shareHost));
    if (config_.shareHost.empty()) config_.shareHost = config_.baseURL;
}

HttpRequest BYOBackendShareClient::request(const std::string& method, const std::string& endpoint) const {
    if (!isHttpURL(config_.baseURL)) throw ShareUploadError("The BYO backend URL is not a valid http(s) URL.");
    HttpRequest request;
    request.method = method;
    request.url = config_.baseURL + "/" + endpoint;
    request.headers = {{"Authorization", "Bearer " + config_.bearerToken}, {"Accept", "application/json"}};
    return request;
}

ShareResult BYOBackendShareClient::upload(const fs::path& file, const ShareRequest& share, std::stop_token stop) {
    // One folder per share keeps the video and its sidecar together on the backend.
    const auto folder = Uuid::random().string();
    auto uploadFile = [&](const fs::path& path) {
        auto call = request("POST", "uploads");
        call.url =
            joinURL(config_.baseURL, {"uploads"}, {{"folder_id", folder}, {"filename", path.filename().string()}});
        call.headers.emplace_back("Content-Type", uploadContentType(path));
        call.body = HttpFileBody{path};
        call.timeout = std::chrono::seconds(3600);
        if (share.uploadProgress && path == file) {
            call.uploadProgress = [&](std::uint64_t sent, std::uint64_t total) {
                if (total > 0) share.uploadProgress(static_cast<double>(sent) / static_cast<double>(total));
            };
        }
        const auto answer = transport_->send(call, stop);
        if (!answer.ok()) fail(answer, "BYO upload failed.");
        const auto json = Json::parse(answer.body, nullptr, false);
        const auto url = firstString(json, {"url", "public_url", "publicUrl", "download_url"});
        if (!url) throw ShareUploadError("BYO upload response must include `url` or `public_url`.");
        return std::make_pair(*url, firstString(json, {"path"}).value_or(""));
    };
    const auto [videoURL, videoPath] = uploadFile(file);
    std::optional<std::string> sidecarURL;
    if (share.sidecar) sidecarURL = uploadFile(*share.sidecar).first;

    Json body{{"title", share.title},
              {"video_url", videoURL},
              {"video_path", videoPath},
              {"duration", share.durationSeconds},
              {"width", share.width},
              {"height", share.height},
              {"export_kind", std::string(rawValue(share.preset))},
              {"visibility", "public"},
              {"permission", share.permission}};
    if (sidecarURL) body["sidecar_url"] = *sidecarURL;
    auto create = request("POST", "shares");
    create.headers.emplace_back("Content-Type", "application/json");
    create.body = body.dump();
    const auto answer = transport_->send(create, stop);
    if (!answer.ok()) fail(answer, "BYO share creation failed.");
    const auto json = Json::parse(answer.body, nullptr, false);
    ShareResult result;
    if (auto link = firstString(json, {"url", "share_url", "shareUrl"})) {
        result.url = *link;
    } else if (auto id = firstString(json, {"id"})) {
        result.url = config_.shareHost + "/shares/" + percentEncode(*id);
    } else {
        // Without a link the share cannot be opened; the file alone is what the user can pass on.
        result.url = videoURL;
    }
    result.shareID = firstString(json, {"id"});
    result.permission = share.permission;
    return result;
}

ShareResult BYOBackendShareClient::update(const fs::path& file, const ShareRequest& share, const ShareResult&,
                                          std::stop_token stop) {
    return upload(file, share, stop);
}

BYOBackendCheck BYOBackendShareClient::check(std::stop_token stop) {
    try {
        if (!transport_->send(request("GET", "health"), stop).ok())
            return {false, "BYO backend health check failed.", {}};
    } catch (const std::exception&) {
        return {false, "BYO backend health check failed.", {}};
    }
    try {
        const auto answer = transport_->send(request("GET", "capabilities"), stop);
        const auto json = Json::parse(answer.body, nullptr, false);
        if (!answer.ok() || !json.is_object()) return {false, "BYO backend capabilities check failed.", {}};
        if (!offers(json, "upload") || !offers(json, "share")) {
            return {false, "Failed \u00b7 missing uploads/shares capabilities.", {}};
        }
        return {true, "OK", uploadLimit(json)};
    } catch (const std::exception&) {
        return {false, "BYO backend capabilities check failed.", {}};
    }
}

}  // namespace orvane
