#include "platform/bounded_secret_store.h"

#include "base/bounded_wait.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

// What a raced operation hands back: its value, or the reason it failed. Failures are caught inside the
// operation so that a failure is never mistaken for a timeout.
struct Outcome {
    std::optional<std::string> value;
    std::optional<std::string> failure;
};

double milliseconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

BoundedSecretStore::BoundedSecretStore(std::shared_ptr<SecretStore> inner, std::chrono::nanoseconds limit)
    : inner_(std::move(inner)), limit_(limit) {}

std::optional<std::string> BoundedSecretStore::read(const std::string& account) {
    auto outcome = runBounded<Outcome>(limit_, [inner = inner_, account]() -> Outcome {
        try {
            return {inner->read(account), std::nullopt};
        } catch (const std::exception& failure) {
            return {std::nullopt, failure.what()};
        }
    });
    if (!outcome) {
        log::warning(log_area::kKeychain, "reading \"%s\" did not finish within %.0f ms; going on without it",
                     account.c_str(), milliseconds(limit_));
        return std::nullopt;
    }
    if (outcome->failure) {
        log::warning(log_area::kKeychain, "reading \"%s\" failed: %s", account.c_str(), outcome->failure->c_str());
        return std::nullopt;
    }
    return std::move(outcome->value);
}

void BoundedSecretStore::write(const std::string& account, const std::string& value) { inner_->write(account, value); }

void BoundedSecretStore::remove(const std::string& account) {
    auto outcome = runBounded<Outcome>(limit_, [inner = inner_, account]() -> Outcome {
        try {
            inner->remove(account);
            return {};
        } catch (const std::exception& failure) {
            return {std::nullopt, failure.what()};
        }
    });
    if (!outcome) {
        log::warning(log_area::kKeychain, "removing \"%s\" did not finish within %.0f ms; it goes on in the background",
                     account.c_str(), milliseconds(limit_));
        return;
    }
    if (outcome->failure) throw SecretStoreError(*outcome->failure);
}

std::string BoundedSecretStore::description() const { return inner_->description(); }

}  // namespace orvane
