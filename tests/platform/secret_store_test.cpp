#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/bounded_secret_store.h"
#include "platform/libsecret/libsecret_store.h"
#include "platform/linux/file_secret_store.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

unsigned modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

TEST(FileSecretStore, SecretsRoundTripPrivatelyAndAreSharedByEveryInstance) {
    testing::TempDir dir;
    const auto folder = dir / "Orvane";
    FileSecretStore store("org.orvane.Test", folder);
    EXPECT_EQ(store.file(), folder / "org.orvane.Test.file.v2");
    EXPECT_FALSE(store.read("vexoRefreshToken"));
    store.remove("vexoRefreshToken");  // removing nothing is fine

    const std::string awkward = "t\xC3\xB8ken \"quoted\"\nline two";
    store.write("vexoRefreshToken", awkward);
    store.write("vexoAccessToken", "access-1");
    store.write("vexoAccessToken", "access-2");
    EXPECT_EQ(store.read("vexoRefreshToken"), awkward);
    EXPECT_EQ(modeOf(store.file()), 0600u);
    EXPECT_EQ(modeOf(folder), 0700u);

    FileSecretStore second("org.orvane.Test", folder);
    EXPECT_EQ(second.read("vexoAccessToken"), "access-2");
    second.remove("vexoAccessToken");
    EXPECT_FALSE(store.read("vexoAccessToken"));
    EXPECT_EQ(store.read("vexoRefreshToken"), awkward);

    // Another service keeps its own file.
    FileSecretStore staging("org.orvane.Test.Staging", folder);
    EXPECT_FALSE(staging.read("vexoRefreshToken"));
}

TEST(FileSecretStore, MalformedFileFailsReadsAndIsKeptBeforeTheNextWrite) {
    testing::TempDir dir;
    FileSecretStore store("org.orvane.Test", dir.path());
    testing::writeTextFile(store.file(), "{\"vexoRefreshToken\": ");
    EXPECT_THROW(store.read("vexoRefreshToken"), SecretStoreError);
    EXPECT_THROW(store.remove("vexoRefreshToken"), SecretStoreError);

    store.write("vexoRefreshToken", "fresh");
    EXPECT_EQ(store.read("vexoRefreshToken"), "fresh");
    auto copy = store.file();
    copy += ".corrupt";
    EXPECT_EQ(testing::readTextFile(copy), "{\"vexoRefreshToken\": ");
    EXPECT_EQ(modeOf(copy), 0600u);
}

TEST(FileSecretStore, WriteThatCannotBeSavedSaysWhichAccountAndWhere) {
    testing::TempDir dir;
    testing::writeTextFile(dir / "occupied", "a file where the folder should be");
    FileSecretStore store("org.orvane.Test", dir / "occupied");
    try {
        store.write("byoBackendBearerToken", "secret");
        FAIL() << "the write should have failed";
    } catch (const SecretStoreError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("\"byoBackendBearerToken\""), std::string::npos) << message;
        EXPECT_NE(message.find((dir / "occupied").string()), std::string::npos) << message;
    }
}

// An inner store whose reads and removes wait for the test to let them go, like a Secret Service
// stuck behind an unlock prompt.
class GatedSecretStore final : public SecretStore {
public:
    std::optional<std::string> read(const std::string& account) override {
        waitForGate();
        if (failWith) throw SecretStoreError(*failWith);
        const auto found = values.find(account);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void write(const std::string& account, const std::string& value) override {
        if (failWith) throw SecretStoreError(*failWith);
        values[account] = value;
    }
    void remove(const std::string& account) override {
        waitForGate();
        if (failWith) throw SecretStoreError(*failWith);
        values.erase(account);
    }
    std::string description() const override { return "gated"; }

    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

    std::map<std::string, std::string> values;
    std::optional<std::string> failWith;

private:
    void waitForGate() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return open_; });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
};

TEST(BoundedSecretStore, HangingReadYieldsNoValueAndHangingRemoveLetsTheCallerGoOn) {
    auto inner = std::make_shared<GatedSecretStore>();
    inner->values["vexoRefreshToken"] = "token";
    BoundedSecretStore store(inner, 20ms);
    EXPECT_EQ(store.read("vexoRefreshToken"), "token");

    std::vector<std::string> lines;
    log::ScopedSink sink([&](log::Level, const std::string& line) { lines.push_back(line); });
    inner->close();
    EXPECT_FALSE(store.read("vexoRefreshToken"));
    EXPECT_NO_THROW(store.remove("vexoRefreshToken"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("[Orvane.Keychain] reading \"vexoRefreshToken\" did not finish", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("[Orvane.Keychain] removing \"vexoRefreshToken\" did not finish", 0), 0u) << lines[1];
    // The abandoned calls finish in the background once the store answers; their results are dropped.
    inner->open();
}

TEST(BoundedSecretStore, FailuresReadAsNoValueButFailedRemovesAndWritesAreReported) {
    auto inner = std::make_shared<GatedSecretStore>();
    BoundedSecretStore store(inner, 2s);
    store.write("customSupabaseAnonKey", "anon");
    EXPECT_EQ(inner->values["customSupabaseAnonKey"], "anon");
    EXPECT_EQ(store.description(), "gated");

    inner->failWith = "the keyring is gone";
    EXPECT_FALSE(store.read("customSupabaseAnonKey"));
    EXPECT_THROW(store.write("customSupabaseAnonKey", "other"), SecretStoreError);
    try {
        store.remove("customSupabaseAnonKey");
        FAIL() << "the remove should have failed";
    } catch (const SecretStoreError& error) {
        EXPECT_STREQ(error.what(), "the keyring is gone");
    }
}

TEST(MakeSecretStore, FallsBackToTheFileStoreWithoutASecretService) {
    testing::TempDir dir;
    testing::ScopedEnv config("XDG_CONFIG_HOME", dir.path().string());
    testing::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir / "no-bus").string());
    if (LibsecretStore::probe(kKeychainTimeLimit) != LibsecretStore::ServiceState::unavailable) {
        GTEST_SKIP() << "this process already holds a connection to a Secret Service";
    }
    auto store = makeSecretStore("org.orvane.Test", 500ms);
    EXPECT_EQ(store->description(), "file " + (dir / "Orvane" / "org.orvane.Test.file.v2").string());
    store->write("vexoAccessToken", "a");
    EXPECT_EQ(FileSecretStore("org.orvane.Test").read("vexoAccessToken"), "a");
}

}  // namespace
}  // namespace orvane
