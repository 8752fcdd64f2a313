#include "platform/libsecret/libsecret_store.h"

#include <libsecret/secret.h>

#include "base/bounded_wait.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

// libsecret's variadic attribute lists end with a literal nullptr: clang's sentinel check does not see
// through a named constant.

// The schema name is stored with every item and matched on lookup: renaming it would hide every saved secret.

const SecretSchema& orvaneSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "org.orvane.Orvane.Secret";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return schema;
}

// Takes ownership of a GError and returns its message.
std::string takeMessage(GError* error) {
    std::string message = error->message ? error->message : "unknown error";
    g_error_free(error);
    return message;
}

}  // namespace

LibsecretStore::ServiceState LibsecretStore::probe(std::chrono::nanoseconds limit) {
    struct Answer {
        std::string problem;
        bool locked = false;
    };
    // Resolving the default collection is a real round trip to the service. A service without one (a
    // keyring daemon started without a login keyring, on a machine with nobody to answer its prompt) could
    // never store a secret, so it counts as unavailable.
    const auto answered = runBounded<Answer>(limit, []() -> Answer {
        GError* error = nullptr;
        SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
        if (!service) return {error ? takeMessage(error) : std::string("no Secret Service")};
        SecretCollection* collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
                                                                         SECRET_COLLECTION_NONE, nullptr, &error);
        g_object_unref(service);
        if (error) return {takeMessage(error)};
        if (!collection) return {"it has no default collection"};
        const bool locked = secret_collection_get_locked(collection);
        g_object_unref(collection);
        return {{}, locked};
    });
    if (!answered) {
        log::info(log_area::kKeychain, "the Secret Service did not answer within %lld ms",
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count()));
        return ServiceState::unavailable;
    }
    if (!answered->problem.empty()) {
        log::info(log_area::kKeychain, "no usable Secret Service: %s", answered->problem.c_str());
        return ServiceState::unavailable;
    }
    return answered->locked ? ServiceState::locked : ServiceState::unlocked;
}

std::optional<std::string> LibsecretStore::read(const std::string& account) {
    GError* error = nullptr;
    gchar* value = secret_password_lookup_sync(&orvaneSchema(), nullptr, &error, "service", service_.c_str(), "account",
                                               account.c_str(), nullptr);
    if (error) {
        if (value) secret_password_free(value);
        throw SecretStoreError("Could not read the secret \"" + account + "\" from the Secret Service: " +
                               takeMessage(error));
    }
    if (!value) return std::nullopt;
    std::string secret(value);
    // Wipes the copy libsecret handed us before freeing it.
    secret_password_free(value);
    return secret;
}

void LibsecretStore::write(const std::string& account, const std::string& value) {
    GError* error = nullptr;
    const std::string label = "Orvane: " + account;
    const gboolean stored =
        secret_password_store_sync(&orvaneSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value.c_str(), nullptr,
                                   &error, "service", service_.c_str(), "account", account.c_str(), nullptr);
    if (error || !stored) {
        throw SecretStoreError("Could not save the secret \"" + account + "\" in the Secret Service: " +
                               (error ? takeMessage(error) : std::string("the service refused it")));
    }
}

void LibsecretStore::remove(const std::string& account) {
    GError* error = nullptr;
    // Returns false without an error when there was nothing to remove.
    secret_password_clear_sync(&orvaneSchema(), nullptr, &error, "service", service_.c_str(), "account",
                               account.c_str(), nullptr);
    if (error) {
        throw SecretStoreError("Could not remove the secret \"" + account + "\" from the Secret Service: " +
                               takeMessage(error));
    }
}

std::string LibsecretStore::description() const { return "Secret Service (service " + service_ + ")"; }

}  // namespace orvane
