#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/built_in_configuration.h"
#include "app/configuration.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    // A configuration over exactly these bundle keys (nothing compiled in or installed).
    AppConfiguration configure(const std::string& bundleJSON) {
        bundle = BundleConfig();
        EXPECT_TRUE(bundle.overlayJSON(bundleJSON, "test"));
        return AppConfiguration(bundle, preferences);
    }

    testing::TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
    BundleConfig bundle;
};

TEST_F(ConfigurationTest, ChannelNamesAreStagingOnlyForStagingInAnyCase) {
    for (const std::string channel : {"Staging", "STAGING", " staging\n"}) {
        const auto config = configure(R"j({"OrvaneBuildChannel": )j" + nlohmann::json(channel).dump() + "}");
        EXPECT_EQ(config.buildChannel(), "staging");
        EXPECT_TRUE(config.isStaging());
        EXPECT_EQ(config.defaultURLScheme(), "orvane-staging");
        EXPECT_EQ(config.cliCommandName(), "orvane-staging");
        EXPECT_EQ(config.cliInstallPath(), "/usr/local/bin/orvane-staging");
        EXPECT_EQ(config.keychainService(), "org.orvane.Orvane.Staging");
    }
    for (const std::string bundleJSON : {R"j({"OrvaneBuildChannel": "beta"})j", R"j({})j",
                                         R"j({"OrvaneBuildChannel": "$(CHANNEL)"})j"}) {
        const auto config = configure(bundleJSON);
        EXPECT_FALSE(config.isStaging()) << bundleJSON;
        EXPECT_EQ(config.defaultURLScheme(), "orvane");
        EXPECT_EQ(config.legacyURLScheme(), "zant");
        EXPECT_EQ(config.acceptedURLSchemes(), (std::set<std::string>{"orvane", "zant"}));
        EXPECT_EQ(config.cliInstallPath(), "/usr/local/bin/orvane");
        EXPECT_EQ(config.keychainService(), "org.orvane.Orvane");
    }
    EXPECT_EQ(configure(R"j({"OrvaneBuildChannel": "Beta"})j").buildChannel(), "beta");
    EXPECT_EQ(configure(R"j({})j").buildChannel(), "production");
}

TEST_F(ConfigurationTest, AcceptedSchemesAreLowerCasedAndCollapseWhenBothKeysAgree) {
    EXPECT_EQ(configure(R"j({"OrvaneBuildChannel": "staging"})j").acceptedURLSchemes(),
              (std::set<std::string>{"orvane-staging"}));
    const auto config = configure(R"j({"OrvaneDefaultURLScheme": "Orvane-Dev", "OrvaneLegacyURLScheme": "ORVANE-DEV"})j");
    EXPECT_EQ(config.defaultURLScheme(), "orvane-dev");
    EXPECT_EQ(config.acceptedURLSchemes(), (std::set<std::string>{"orvane-dev"}));
}

TEST_F(ConfigurationTest, BackendBaseURLPrefersANonEmptyPreferenceThenTheBundleThenTheBuiltIn) {
    EXPECT_EQ(configure(R"j({})j").apiBaseURL(), built_in::productionAPIBaseURL);
    EXPECT_EQ(configure(R"j({"OrvaneAPIBaseURL": "$(API_URL)"})j").apiBaseURL(), built_in::productionAPIBaseURL);
    const auto config = configure(R"j({"OrvaneAPIBaseURL": " https://api.staging.example.test "})j");
    EXPECT_EQ(config.apiBaseURL(), "https://api.staging.example.test");
    preferences.setAPIBaseURLOverride("");
    EXPECT_EQ(config.apiBaseURL(), "https://api.staging.example.test");
    preferences.setAPIBaseURLOverride("http://localhost:4000");
    EXPECT_EQ(config.apiBaseURL(), "http://localhost:4000");
}

TEST_F(ConfigurationTest, AnalyticsTokenUsesTheProductionTokenOnlyOnProduction) {
    EXPECT_EQ(configure(R"j({})j").analyticsProjectToken(), built_in::productionAnalyticsToken);
    EXPECT_EQ(configure(R"j({"OrvaneBuildChannel": "PRODUCTION"})j").analyticsProjectToken(),
              built_in::productionAnalyticsToken);
    // "beta" takes production names but the second analytics project.
    EXPECT_EQ(configure(R"j({"OrvaneBuildChannel": "beta"})j").analyticsProjectToken(), built_in::stagingAnalyticsToken);
    EXPECT_EQ(configure(R"j({"OrvaneBuildChannel": "staging", "PostHogProjectToken": " phc_fromBundle "})j")
                  .analyticsProjectToken(),
              "phc_fromBundle");
    EXPECT_EQ(configure(R"j({"PostHogProjectToken": "$(POSTHOG_TOKEN)"})j").analyticsProjectToken(),
              built_in::productionAnalyticsToken);
    EXPECT_NE(built_in::productionAnalyticsToken, built_in::stagingAnalyticsToken);
    for (auto token : {built_in::productionAnalyticsToken, built_in::stagingAnalyticsToken}) {
        ASSERT_EQ(token.substr(0, 4), "phc_");
        const auto body = token.substr(4);
        EXPECT_TRUE(body.size() == 43 || body.size() == 44) << token;
        for (char c : body) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << token;
    }
}

TEST_F(ConfigurationTest, EndpointsComeFromTheBundleUnlessItsValueIsUnusable) {
    const auto config = configure(R"j({"OrvaneShareHost": "https://share.example.test", "OrvaneDownloadURL": "  ",
        "OrvaneKeychainService": "com.example.Recorder", "OrvaneShareSupabaseBucket": 3})j");
    EXPECT_EQ(config.shareHost(), "https://share.example.test");
    EXPECT_EQ(config.downloadURL(), built_in::downloadURL);
    EXPECT_EQ(config.keychainService(), "com.example.Recorder");
    EXPECT_EQ(config.shareSupabaseBucket(), "zant-exports");
    EXPECT_EQ(config.authEmailConfirmationURL(), std::string(built_in::webSiteOrigin) + "/confirm-email");
}

// Base64url without padding, as JSON Web Tokens use it.
std::string decodeBase64URL(std::string_view text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const auto index = alphabet.find(c);
        if (index == std::string::npos) throw std::invalid_argument("not base64url: " + std::string(1, c));
        buffer = (buffer << 6) | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

TEST(BuiltInConfiguration, AnonymousKeysAreWellFormedAnonRoleTokens) {
    for (auto key : {built_in::shareSupabaseAnonKey, built_in::authSupabaseAnonKey}) {
        EXPECT_EQ(key.size(), 208u);
        std::vector<std::string_view> parts;
        for (std::size_t start = 0;;) {
            const auto dot = key.find('.', start);
            parts.push_back(key.substr(start, dot - start));
            if (dot == std::string_view::npos) break;
            start = dot + 1;
        }
        ASSERT_EQ(parts.size(), 3u) << key;
        const auto header = nlohmann::json::parse(decodeBase64URL(parts[0]));
        const auto payload = nlohmann::json::parse(decodeBase64URL(parts[1]));
        EXPECT_EQ(header.at("alg"), "HS256");
        EXPECT_EQ(header.at("typ"), "JWT");
        EXPECT_EQ(payload.at("role"), "anon");
        // An HMAC-SHA256 signature is 32 bytes.
        EXPECT_EQ(decodeBase64URL(parts[2]).size(), 32u);
    }
    // The reference in each key's payload is the host of its project URL.
    const auto shareRef = nlohmann::json::parse(
        decodeBase64URL(built_in::shareSupabaseAnonKey.substr(37, built_in::shareSupabaseAnonKey.rfind('.') - 37)));
    EXPECT_EQ("https://" + shareRef.at("ref").get<std::string>() + ".supabase.co", built_in::shareSupabaseURL);
}

}  // namespace
}  // namespace orvane
