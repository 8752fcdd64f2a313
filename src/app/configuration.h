#pragma once

#include <set>
#include <string>
#include <string_view>

#include "app/preferences.h"
#include "platform/bundle_config.h"

namespace orvane {

// The application's configuration: the bundle keys, read by the bundle-key rule with the built-in
// defaults, and the one preference that overrides them (the backend base URL). Reads go to the bundle
// and the preferences every time, so a changed preference takes effect at once.
class AppConfiguration {
public:
    AppConfiguration(const BundleConfig& bundle, const Preferences& preferences)
        : bundle_(bundle), preferences_(preferences) {}

    std::string bundleString(std::string_view key, std::string_view fallback) const {
        return bundle_.bundleString(key, fallback);
    }

    // Lower-cased; "production" when the bundle does not say.
    std::string buildChannel() const;
    bool isStaging() const { return buildChannel() == "staging"; }

    std::string apiBaseURL() const;
    std::string authEmailConfirmationURL() const;
    std::string downloadURL() const;
    // The Ed25519 public key (32 bytes, Base64) release archives are signed with; empty when this
    // build was not given one, and then no update can be installed.
    std::string updatePublicKey() const;

    // Deep-link schemes, lower-cased. A set: both keys may name the same scheme.
    std::string defaultURLScheme() const;
    std::string legacyURLScheme() const;
    std::set<std::string> acceptedURLSchemes() const;

    std::string cliCommandName() const;
    // "/usr/local/bin/" followed by the command name.
    std::string cliInstallPath() const;

    // The keychain service name; the file-backed store adds ".file.v2".
    std::string keychainService() const;

    // The built-in share backend.
    std::string shareHost() const;
    std::string shareURLPattern() const;
    std::string shareSupabaseURL() const;
    std::string shareSupabaseAnonKey() const;
    std::string shareSupabaseBucket() const;
    std::string shareSupabaseMetadataTable() const;

    // The authentication service.
    std::string authSupabaseURL() const;
    std::string authSupabaseAnonKey() const;

    std::string analyticsProjectToken() const;

private:
    // The production value, or the staging one when the channel is "staging".
    std::string_view byChannel(std::string_view production, std::string_view staging) const {
        return isStaging() ? staging : production;
    }

    const BundleConfig& bundle_;
    const Preferences& preferences_;
};

}  // namespace orvane
