#include <gtest/gtest.h>

#include <string>

#include "base/uuid.h"
#include "platform/libsecret/libsecret_store.h"
#include "support/required_service.h"

namespace orvane {
namespace {

// These run only where an unlocked Secret Service answers, e.g. under scripts/with-test-services.sh; a
// locked keyring would wait for a password prompt that nobody can answer here.
class LibsecretStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVANE_REQUIRE_SERVICE(LibsecretStore::probe(kKeychainTimeLimit) == LibsecretStore::ServiceState::unlocked,
                               "no unlocked Secret Service answers");
    }
    // A service of its own, so runs never see each other's items or the user's.
    const std::string service = "org.orvane.Orvane.Test." + Uuid::random().string();
};

TEST_F(LibsecretStoreTest, SecretsRoundTripPerServiceAndAccount) {
    LibsecretStore store(service);
    EXPECT_FALSE(store.read("vexoRefreshToken"));
    store.remove("vexoRefreshToken");

    const std::string awkward = "t\xC3\xB8ken \"quoted\"\nline two";
    store.write("vexoRefreshToken", "first");
    store.write("vexoRefreshToken", awkward);
    store.write("vexoAccessToken", "access");
    EXPECT_EQ(LibsecretStore(service).read("vexoRefreshToken"), awkward);
    EXPECT_FALSE(LibsecretStore(service + ".Staging").read("vexoRefreshToken"));

    store.remove("vexoRefreshToken");
    EXPECT_FALSE(store.read("vexoRefreshToken"));
    EXPECT_EQ(store.read("vexoAccessToken"), "access");
    store.remove("vexoAccessToken");
    EXPECT_FALSE(store.read("vexoAccessToken"));
}

TEST_F(LibsecretStoreTest, MakeSecretStoreChoosesTheSecretService) {
    auto store = makeSecretStore(service);
    EXPECT_EQ(store->description(), "Secret Service (service " + service + ")");
    store->write("byoBackendBearerToken", "bearer");
    EXPECT_EQ(LibsecretStore(service).read("byoBackendBearerToken"), "bearer");
    store->remove("byoBackendBearerToken");
    EXPECT_FALSE(store->read("byoBackendBearerToken"));
}

}  // namespace
}  // namespace orvane
