#include "base/log.h"
#include "base/log_areas.h"
#include "platform/bounded_secret_store.h"
#include "platform/libsecret/libsecret_store.h"
#include "platform/linux/file_secret_store.h"
#include "platform/secret_store.h"

namespace orvane {

std::unique_ptr<SecretStore> makeSecretStore(const std::string& service, std::chrono::nanoseconds limit) {
    std::shared_ptr<SecretStore> inner;
    if (LibsecretStore::probe(limit) != LibsecretStore::ServiceState::unavailable) {
        inner = std::make_shared<LibsecretStore>(service);
    } else {
        inner = std::make_shared<FileSecretStore>(service);
    }
    log::info(log_area::kKeychain, "keeping secrets in the %s", inner->description().c_str());
    return std::make_unique<BoundedSecretStore>(std::move(inner), limit);
}

}  // namespace orvane
