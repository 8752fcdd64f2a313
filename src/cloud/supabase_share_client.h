#pragma once

// Sharing to the user's own Supabase project: the files go to a public storage bucket and a row in
// a metadata table describes the share. The project is set up once with supabaseSetupScript().

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "export/share_client.h"
#include "net/http_transport.h"

namespace orvane {

// The keychain account of the project's anonymous key.
inline constexpr std::string_view kCustomSupabaseAnonKeyAccount = "customSupabaseAnonKey";

struct SupabaseShareConfig {
    std::string baseURL;
    std::string anonKey;
    std::string bucket = "zant-exports";
    std::string metadataTable = "zant_exports";
    std::string shareHost;  // empty: the link is the video file's public URL
    std::string shareURLPattern = "/s/";
};

class SupabaseShareClient final : public ShareClient {
public:
    SupabaseShareClient(SupabaseShareConfig config, std::shared_ptr<HttpTransport> transport);

    // 48 MB: the free tier's upload limit of a storage bucket.
    std::int64_t defaultMaxUploadBytes() const override { return 48LL * 1000 * 1000; }
    // Throws ExportError's "Sharing is not configured..." text when the URL or key is missing.
    ShareResult upload(const std::filesystem::path& file, const ShareRequest& request, std::stop_token stop) override;
    // Storage objects are never overwritten ("x-upsert: false"): an update is a new share.
    ShareResult update(const std::filesystem::path& file, const ShareRequest& request, const ShareResult& existing,
                       std::stop_token stop) override;

private:
    std::string objectPath(const std::string& shareID, const std::filesystem::path& file) const;
    HttpHeaders authorisation() const;

    SupabaseShareConfig config_;
    std::shared_ptr<HttpTransport> transport_;
};

// The SQL the settings screen shows for setting up a project with `table` and `bucket`.
std::string supabaseSetupScript(const std::string& table, const std::string& bucket);

}  // namespace orvane
