#pragma once

#include <chrono>
#include <memory>

#include "platform/secret_store.h"

namespace orvane {

// Races every read and delete of `inner` against a time limit, so a stuck keychain (a Secret Service
// waiting on an unlock prompt nobody sees, a hung D-Bus peer) cannot freeze sign-in or sign-out. Whichever
// finishes first answers the caller, exactly once; a late result is dropped.
//
// A read that times out or fails yields no value (and is logged). A delete that times out is logged and
// left to finish in the background; a delete that fails throws SecretStoreError. Writes are not raced: a
// caller that saves a token needs to know whether it was saved.
class BoundedSecretStore final : public SecretStore {
public:
    // `inner` is shared because an operation that outlives its time limit still uses it.
    BoundedSecretStore(std::shared_ptr<SecretStore> inner, std::chrono::nanoseconds limit = kKeychainTimeLimit);

    std::optional<std::string> read(const std::string& account) override;
    void write(const std::string& account, const std::string& value) override;
    void remove(const std::string& account) override;
    std::string description() const override;

private:
    std::shared_ptr<SecretStore> inner_;
    std::chrono::nanoseconds limit_;
};

}  // namespace orvane
