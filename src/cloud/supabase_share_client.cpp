#include "cloud/supabase_share_client.h"

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/uuid.h"
#include "cloud/signed_upload.h"
#include "export/export_error.h"
#include "net/service_url.h"

namespace orvane {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

[[noreturn]] void fail(const HttpResponse& response, const char* fallback) {
    auto text = trimWhitespaceAndNewlines(response.body);
    // Storage answers JSON with a "message"; show that rather than the raw object.
    const auto json = Json::parse(text, nullptr, false);
    if (json.is_object() && json.contains("message") && json["message"].is_string()) {
        text = json["message"].get<std::string>();
    }
    const auto lower = toLowerAscii(text);
    if (response.status == 413 || lower.find("payload too large") != std::string::npos ||
        lower.find("maximum allowed size") != std::string::npos) {
        throw ShareTooLargeError(text.empty() ? "Payload too large" : text);
    }
    throw ShareUploadError(text.empty() ? fallback : text);
}

}  // namespace

SupabaseShareClient::SupabaseShareClient(SupabaseShareConfig config, std::shared_ptr<HttpTransport> transport)
    : config_(std::move(config)), transport_(std::move(transport)) {
    config_.baseURL = trimTrailingSlashes(trimWhitespaceAndNewlines(config_.baseURL));
    config_.anonKey = trimWhitespaceAndNewlines(config_.anonKey);
}

std::string SupabaseShareClient::objectPath(const std::string& shareID, const fs::path& file) const {
    return "exports/" + shareID + "/" + file.filename().string();
}

HttpHeaders SupabaseShareClient::authorisation() const {
    return {{"Authorization", "Bearer " + config_.anonKey}, {"apikey", config_.anonKey}};
}

ShareResult SupabaseShareClient::upload(const fs::path& file, const ShareRequest& request, std::stop_token stop) {
    if (config_.baseURL.empty() || config_.anonKey.empty() || config_.bucket.empty()) {
        throw ExportError::shareNotConfigured();
    }
    if (!isHttpURL(config_.baseURL)) throw ShareUploadError("The Supabase project URL is not a valid http(s) URL.");
    // One id per share: the folder of its files and the metadata row's key.
    const auto shareID = Uuid::random().string();

    auto store = [&](const fs::path& path) {
        const auto object = objectPath(shareID, path);
        HttpRequest put;
        put.method = "POST";
        put.url = config_.baseURL + "/storage/v1/object/" + percentEncode(config_.bucket) + "/exports/" + shareID +
                  "/" + percentEncode(path.filename().string());
        put.timeout = std::chrono::seconds(3600);
        if (request.uploadProgress && path == file) {
            put.uploadProgress = [&](std::uint64_t sent, std::uint64_t total) {
                if (total > 0) request.uploadProgress(static_cast<double>(sent) / static_cast<double>(total));
            };
        }
        put.headers = authorisation();
        put.headers.insert(
            put.headers.end(),
            {{"Content-Type", uploadContentType(path)}, {"cache-control", "3600"}, {"x-upsert", "false"}});
        put.body = HttpFileBody{path};
        const auto answer = transport_->send(put, stop);
        if (!answer.ok()) fail(answer, "Upload to Supabase storage failed.");
        return std::make_pair(config_.baseURL + "/storage/v1/object/public/" + percentEncode(config_.bucket) +
                                  "/exports/" + shareID + "/" + percentEncode(path.filename().string()),
                              object);
    };
    const auto [videoURL, videoPath] = store(file);
    std::optional<std::string> sidecarURL;
    if (request.sidecar) sidecarURL = store(*request.sidecar).first;

    // Declaration order keeps "id" the row's first key.
    nlohmann::ordered_json row{{"id", shareID},
                               {"title", request.title},
                               {"video_url", videoURL},
                               {"video_path", videoPath},
                               {"duration", request.durationSeconds},
                               {"width", request.width},
                               {"height", request.height},
                               {"export_kind", std::string(rawValue(request.preset))},
                               {"visibility", "public"},
                               {"permission", request.permission},
                               {"sidecar_url", sidecarURL ? Json(*sidecarURL) : Json(nullptr)}};
    HttpRequest insert;
    insert.method = "POST";
    insert.url = config_.baseURL + "/rest/v1/" + percentEncode(config_.metadataTable);
    insert.timeout = std::chrono::seconds(3600);
    insert.headers = authorisation();
    insert.headers.insert(insert.headers.end(), {{"Content-Type", "application/json"}, {"Prefer", "return=minimal"}});
    insert.body = row.dump();
    const auto answer = transport_->send(insert, stop);
    if (!answer.ok()) fail(answer, "Could not record the share in the metadata table.");

    ShareResult result;
    const auto host = trimTrailingSlashes(trimWhitespaceAndNewlines(config_.shareHost));
    if (host.empty()) {
        result.url = videoURL;
    } else {
        auto pattern = config_.shareURLPattern.empty() ? std::string("/s/") : config_.shareURLPattern;
        if (!pattern.starts_with("/")) pattern.insert(0, "/");
        if (!pattern.ends_with("/")) pattern += "/";
        result.url = host + pattern + shareID;
    }
    result.shareID = shareID;
    result.permission = request.permission;
    return result;
}

ShareResult SupabaseShareClient::update(const fs::path& file, const ShareRequest& request, const ShareResult&,
                                        std::stop_token stop) {
    return upload(file, request, stop);
}

std::string supabaseSetupScript(const std::string& table, const std::string& bucket) {
    return "-- Orvane custom Supabase setup\n"
           "create table if not exists public." +
           table +
           " (\n"
           "  id uuid primary key,\n"
           "  title text,\n"
           "  video_url text not null,\n"
           "  video_path text not null,\n"
           "  sidecar_url text,\n"
           "  duration double precision,\n"
           "  width integer,\n"
           "  height integer,\n"
           "  export_kind text,\n"
           "  visibility text default 'public',\n"
           "  permission text default 'comment',\n"
           "  created_at timestamptz not null default now()\n"
           ");\n\n"
           "alter table public." +
           table +
           " enable row level security;\n\n"
           "create policy \"Orvane public read shares\" on public." +
           table +
           " for select to anon using (visibility = 'public');\n"
           "create policy \"Orvane anon create shares\" on public." +
           table +
           " for insert to anon with check (true);\n"
           "create policy \"Orvane anon delete shares\" on public." +
           table +
           " for delete to anon using (true);\n\n"
           "-- Then create a public storage bucket named \"" +
           bucket +
           "\" (Storage > New bucket > Public).\n"
           "-- Add storage policies on its objects that allow the anon role to insert, select and delete.\n";
}

}  // namespace orvane
