#pragma once

#include <chrono>
#include <string>

#include "platform/secret_store.h"

namespace orvane {

// The keychain through the freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC) via libsecret.
// Items carry the attributes "service" and "account", live in the default collection and are labelled
// "Orvane: <account>" so the user recognises them in a keyring manager.
//
// Every call blocks on D-Bus and may wait for an unlock prompt; wrap the store in BoundedSecretStore.
class LibsecretStore final : public SecretStore {
public:
    explicit LibsecretStore(std::string service) : service_(std::move(service)) {}

    // Whether a Secret Service with a default collection answers within `limit`. A missing service
    // answers at once with an error; a wedged one is cut off by the limit. A locked collection is still
    // usable: the desktop asks the user to unlock it on first use.
    enum class ServiceState { unavailable, locked, unlocked };
    static ServiceState probe(std::chrono::nanoseconds limit);

    std::optional<std::string> read(const std::string& account) override;
    void write(const std::string& account, const std::string& value) override;
    void remove(const std::string& account) override;
    std::string description() const override;

private:
    std::string service_;
};

}  // namespace orvane
