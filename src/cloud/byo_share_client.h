#pragma once

// Sharing to the user's own HTTP backend: a small documented protocol (health, capabilities,
// uploads, shares) with a bearer token kept in the keychain.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "export/share_client.h"
#include "net/http_transport.h"

namespace orvane {

// The keychain account of the backend's bearer token.
inline constexpr std::string_view kBYOBearerTokenAccount = "byoBackendBearerToken";

struct BYOBackendConfig {
    std::string baseURL;
    std::string shareHost;  // empty: the base URL serves the share pages
    std::string bearerToken;
};

// What the settings screen shows after checking the backend.
struct BYOBackendCheck {
    bool ok = false;
    std::string message;                         // "OK" or the failure
    std::optional<std::int64_t> maxUploadBytes;  // when the backend states a limit
};

class BYOBackendShareClient final : public ShareClient {
public:
    BYOBackendShareClient(BYOBackendConfig config, std::shared_ptr<HttpTransport> transport);

    // 48 MB unless the user sets a limit: the common body limit of small self-hosted servers.
    std::int64_t defaultMaxUploadBytes() const override { return 48LL * 1000 * 1000; }
    ShareResult upload(const std::filesystem::path& file, const ShareRequest& request, std::stop_token stop) override;
    // The protocol has no revisions: an update is a new share.
    ShareResult update(const std::filesystem::path& file, const ShareRequest& request, const ShareResult& existing,
                       std::stop_token stop) override;

    // GET health, then GET capabilities, which must offer uploads and shares.
    BYOBackendCheck check(std::stop_token stop = {});

private:
    HttpRequest request(const std::string& method, const std::string& endpoint) const;

    BYOBackendConfig config_;
    std::shared_ptr<HttpTransport> transport_;
};

}  // namespace orvane
