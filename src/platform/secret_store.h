#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace orvane {

// A secret could not be stored or removed. The message says which account and why.
class SecretStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The keychain: secrets (account tokens, API keys) kept per account under one service name. Secrets
// never go into the preferences store.
//
// Implementations may block (a Secret Service call goes over D-Bus and may wait for an unlock prompt), so
// callers off the main loop use them, and makeSecretStore() bounds every read and delete.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // Nothing when no secret is stored for `account`. Throws SecretStoreError when the store fails.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    // Throws SecretStoreError when the secret could not be stored.
    virtual void write(const std::string& account, const std::string& value) = 0;
    // Removing an account that has no secret is not an error. Throws SecretStoreError on failure.
    virtual void remove(const std::string& account) = 0;

    // For logs and diagnostics: which backend this is and where it keeps secrets.
    virtual std::string description() const = 0;
};

// How long a keychain read or delete may take before the caller goes on without it.
inline constexpr std::chrono::nanoseconds kKeychainTimeLimit = std::chrono::seconds(2);

// The keychain for `service`: the Secret Service (libsecret) when one answers within `limit`, else the
// file-backed store in the config folder. Logs which one it chose. Reads and deletes through the
// returned store are bounded by `limit`.
std::unique_ptr<SecretStore> makeSecretStore(const std::string& service,
                                             std::chrono::nanoseconds limit = kKeychainTimeLimit);

}  // namespace orvane
