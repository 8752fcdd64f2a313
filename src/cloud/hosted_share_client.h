#pragma once

// Sharing to Orvane's hosted share pages: the backend hands out signed storage targets, the files go
// straight to storage, and the backend finishes the share.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cloud/remote_api_client.h"
#include "export/share_client.h"

namespace orvane {

// The hosted service needs an account.
inline constexpr const char* kHostedSignInRequired =
    "Sign in to use Orvane Hosted sharing, or switch to a BYO backend in Settings.";

struct HostedShareOptions {
    std::optional<std::string> teamID;
    std::optional<std::string> replyToShareToken;
    std::filesystem::path temporaryFolder;  // empty: the system's
};

class HostedAPIShareClient final : public ShareClient {
public:
    // `currentToken` and `refresh` are the account's (the API client's token provider and the
    // refresh after a 401); a missing token means the user is signed out.
    HostedAPIShareClient(std::shared_ptr<RemoteAPIClient> api, std::shared_ptr<HttpTransport> storage,
                         RemoteAPIClient::TokenProvider currentToken, RefreshAfterRejection refresh,
                         HostedShareOptions options = {});

    // 512 MB: the hosted service's own limit.
    std::int64_t defaultMaxUploadBytes() const override { return 512LL * 1000 * 1000; }
    bool revisionsNeedSidecar() const override { return true; }
    ShareResult upload(const std::filesystem::path& file, const ShareRequest& request, std::stop_token stop) override;
    ShareResult update(const std::filesystem::path& file, const ShareRequest& request, const ShareResult& existing,
                       std::stop_token stop) override;

    std::optional<HostedShareResponse> lastShare() const;

private:
    // The descriptive fields, and for each asset its SHA-256 so the service can skip what it holds.
    nlohmann::json describe(const std::filesystem::path& file, const ShareRequest& request,
                            const std::vector<std::string>& assetDigests) const;
    // The one-form upload, for a backend that offers no direct upload: a new share, or with
    // `shareID` the replacement of that share's content.
    ShareResult uploadForm(const std::filesystem::path& file, const ShareRequest& request,
                           const std::optional<std::string>& shareID, std::stop_token stop);
    void uploadTargets(const HostedDirectUploadResponse& targets, const std::filesystem::path& file,
                       const ShareRequest& request, const std::vector<std::string>& assetDigests, std::stop_token stop);
    ShareResult finish(const HostedShareResponse& share);
    template <typename Call>
    auto authenticated(Call&& call) -> decltype(call());

    std::shared_ptr<RemoteAPIClient> api_;
    std::shared_ptr<HttpTransport> storage_;
    RemoteAPIClient::TokenProvider currentToken_;
    RefreshAfterRejection refresh_;
    HostedShareOptions options_;
    mutable std::mutex mutex_;
    std::optional<HostedShareResponse> lastShare_;
};

}  // namespace orvane
