#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "base/executor.h"
#include "base/log.h"
#include "net/curl_http_transport.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/secret_store.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"

namespace orvane::testing {

using Json = nlohmann::json;

// The keychain as a map; counts reads so tests can tell a cached answer from a fresh one.
class MemorySecretStore final : public SecretStore {
public:
    std::optional<std::string> read(const std::string& account) override {
        std::lock_guard lock(mutex_);
        const auto found = values_.find(account);
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }
    void write(const std::string& account, const std::string& value) override {
        std::lock_guard lock(mutex_);
        values_[account] = value;
    }
    void remove(const std::string& account) override {
        std::lock_guard lock(mutex_);
        values_.erase(account);
    }
    std::string description() const override { return "memory"; }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> values_;
};

class FakeClock final : public Clock {
public:
    SteadyTime now() const override { return SteadyTime{}; }
    SystemTime wallNow() const override {
        std::lock_guard lock(mutex_);
        return wall_;
    }
    void set(SystemTime time) {
        std::lock_guard lock(mutex_);
        wall_ = time;
    }

private:
    mutable std::mutex mutex_;
    SystemTime wall_ = std::chrono::sys_days(std::chrono::year(2026) / 12 / 1);
};

// Every log line written while it lives.
class LogCapture {
public:
    LogCapture()
        : sink_([this](log::Level, const std::string& line) {
              std::lock_guard lock(mutex_);
              lines_.push_back(line);
          }) {}
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& text) const {
        for (const auto& line : lines()) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    log::ScopedSink sink_;
};

inline Json userJson(const std::string& id = "user-1", const std::string& email = "ada@example.com") {
    return {{"id", id}, {"email", email}, {"created_at", "2026-01-01T00:00:00Z"}};
}

inline Json sessionJson(const std::string& access, const std::string& refresh, int expiresIn = 3600) {
    return {{"access_token", access},
            {"refresh_token", refresh},
            {"expires_in", expiresIn},
            {"token_type", "bearer"},
            {"user", userJson()}};
}

// A preferences file in a temporary folder, keeping the account's session as the application does.
struct TempPreferences {
    TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};

    StoredAuthSession storedSession() const { return storedAuthSession(preferences); }
    AuthStore::KeepStoredSession keepSession() { return keepAuthSession(preferences); }
};

}  // namespace orvane::testing
