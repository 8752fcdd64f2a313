#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/preferences.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace keys = preference_keys;

class PreferencesTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
};

TEST_F(PreferencesTest, UnsetKeysReadAsTheirDefaultsWithoutWritingAnything) {
    EXPECT_EQ(preferences.shareBackendMode(), ShareBackendMode::hosted);
    EXPECT_EQ(preferences.defaultRecordingCursorMode(), "pointer");
    EXPECT_TRUE(preferences.autoZoomOnClicks());
    EXPECT_FALSE(preferences.autoZoomCinematic());
    EXPECT_TRUE(preferences.productAnalyticsEnabled());
    // Unset and "the share path decides" are the same thing for the upload limit.
    EXPECT_FALSE(preferences.shareMaxUploadMB());
    EXPECT_FALSE(preferences.exportQuality());
    EXPECT_FALSE(std::filesystem::exists(store.file()));
}

TEST_F(PreferencesTest, SettersStoreUnderTheDocumentedKeys) {
    preferences.setLastUsedSourceID("window:42");
    preferences.setUnifiedLayerModelEnabled(true);
    preferences.setShareBackendMode(ShareBackendMode::byoHTTP);
    preferences.setFaceCameraRadius(24.5);
    EXPECT_EQ(store.get("zantLastUsedSourceID"), PreferenceValue(std::string("window:42")));
    EXPECT_EQ(store.get("orvane.composition.unifiedLayerModelEnabled"), PreferenceValue(true));
    EXPECT_EQ(store.get("zantShareBackendMode"), PreferenceValue(std::string("byoHTTP")));
    EXPECT_EQ(store.get("zantFaceCameraRadius"), PreferenceValue(24.5));
    EXPECT_EQ(preferences.lastUsedSourceID(), "window:42");
    EXPECT_TRUE(preferences.unifiedLayerModelEnabled());
}

TEST_F(PreferencesTest, ShareBackendModeOtherThanTheThreeRawValuesReadsAsHosted) {
    for (const auto& [stored, expected] : std::vector<std::pair<PreferenceValue, ShareBackendMode>>{
             {std::string("customSupabase"), ShareBackendMode::customSupabase},
             {std::string("byoHTTP"), ShareBackendMode::byoHTTP},
             {std::string("hosted"), ShareBackendMode::hosted},
             {std::string("byohttp"), ShareBackendMode::hosted},
             {std::string(" customSupabase"), ShareBackendMode::hosted},
             {std::string("s3"), ShareBackendMode::hosted},
             {std::string(""), ShareBackendMode::hosted},
             {true, ShareBackendMode::hosted},
         }) {
        store.set(keys::shareBackendMode, stored);
        EXPECT_EQ(preferences.shareBackendMode(), expected) << formatPreferenceValue(stored);
    }
}

TEST_F(PreferencesTest, BringYourOwnBackendValuesAreTrimmedAndAnEmptyShareHostTakesTheBackendURL) {
    preferences.setBYOBackendURL("  https://videos.example.test\n");
    EXPECT_EQ(preferences.byoBackendURL(), "https://videos.example.test");
    EXPECT_EQ(preferences.byoShareHost(), "https://videos.example.test");
    preferences.setBYOShareHost(" \t\n");
    EXPECT_EQ(preferences.byoShareHost(), "https://videos.example.test");
    preferences.setBYOShareHost(" https://watch.example.test ");
    EXPECT_EQ(preferences.byoShareHost(), "https://watch.example.test");
    preferences.setBYOBackendURL("");
    preferences.setBYOShareHost("");
    EXPECT_EQ(preferences.byoShareHost(), "");
}

TEST_F(PreferencesTest, ValuesOfANeighbouringKindReadLenientlyAndNonsenseFallsBackToTheDefault) {
    store.set(keys::autoZoomOnClicks, std::string("NO"));
    store.set(keys::defaultWebcamOn, 1.0);
    store.set(keys::defaultMicOn, std::string("maybe"));
    store.set(keys::shareMaxUploadMB, std::string(" 64 "));
    store.set(keys::faceCameraRadius, true);
    store.set(keys::lastUsedSourceID, 5.0);
    EXPECT_FALSE(preferences.autoZoomOnClicks());
    EXPECT_TRUE(preferences.defaultWebcamOn());
    EXPECT_TRUE(preferences.defaultMicOn());
    EXPECT_EQ(preferences.shareMaxUploadMB(), 64.0);
    EXPECT_EQ(preferences.faceCameraRadius(), 1.0);
    EXPECT_EQ(preferences.lastUsedSourceID(), "");

    // A zero or negative limit means "use the share path's own default".
    preferences.setShareMaxUploadMB(0);
    EXPECT_FALSE(preferences.shareMaxUploadMB());
    preferences.setShareMaxUploadMB(-5);
    EXPECT_FALSE(preferences.shareMaxUploadMB());

    preferences.setAPIBaseURLOverride("   ");
    EXPECT_FALSE(preferences.apiBaseURLOverride());
    preferences.setAPIBaseURLOverride(" http://localhost:8080\n");
    EXPECT_EQ(preferences.apiBaseURLOverride(), "http://localhost:8080");
}

TEST_F(PreferencesTest, SetFromStringParsesByDeclaredTypeAndRefusesWithAClearError) {
    for (const auto& [text, expected] : std::vector<std::pair<std::string, bool>>{
             {"true", true}, {"FALSE", false}, {"1", true}, {"0", false}, {" yes ", true}, {"No", false}}) {
        preferences.setFromString("zantAutoZoomOnClicks", text);
        EXPECT_EQ(store.get("zantAutoZoomOnClicks"), PreferenceValue(expected)) << text;
    }
    preferences.setFromString("zantShareMaxUploadMB", "+250.5");
    EXPECT_EQ(store.get("zantShareMaxUploadMB"), PreferenceValue(250.5));
    preferences.setFromString("zantShareMaxUploadMB", "1e3");
    EXPECT_EQ(store.get("zantShareMaxUploadMB"), PreferenceValue(1000.0));
    // Strings are taken exactly as typed, even when they look like another type.
    preferences.setFromString("zantDefaultCameraID", " true ");
    EXPECT_EQ(store.get("zantDefaultCameraID"), PreferenceValue(std::string(" true ")));

    const auto refusal = [&](const std::string& key, const std::string& text) -> std::string {
        try {
            preferences.setFromString(key, text);
        } catch (const PreferenceInputError& error) {
            return error.what();
        }
        return "accepted";
    };
    EXPECT_EQ(refusal("zantAutoZoomOnClicks", "maybe"),
              "\"zantAutoZoomOnClicks\" takes a boolean (true, false, yes, no, 1 or 0), not \"maybe\".");
    EXPECT_EQ(refusal("zantShareMaxUploadMB", "12MB"), "\"zantShareMaxUploadMB\" takes a number, not \"12MB\".");
    EXPECT_NE(refusal("zantShareMaxUploadMB", "nan"), "accepted");
    EXPECT_NE(refusal("zantShareMaxUploadMB", ""), "accepted");
    EXPECT_EQ(refusal("zantAutoZoom", "true"),
              "Unknown preference \"zantAutoZoom\". Run \"orvane config list\" to see the known keys.");
    // Refused input changes nothing.
    EXPECT_EQ(store.get("zantShareMaxUploadMB"), PreferenceValue(1000.0));
    EXPECT_FALSE(store.get("zantAutoZoom"));

    EXPECT_THROW(preferences.unset("zantAutoZoom"), PreferenceInputError);
    preferences.unset("zantShareMaxUploadMB");
    EXPECT_FALSE(store.get("zantShareMaxUploadMB"));
}

TEST_F(PreferencesTest, ListShowsEveryKnownKeyOnceWithItsValueOrDefault) {
    preferences.setDefaultRecordingCursorMode("touch");
    store.set("someoneElsesKey", true);
    const auto entries = preferences.list();
    ASSERT_EQ(entries.size(), knownPreferences().size());

    std::set<std::string> seen;
    for (const auto& entry : entries) {
        EXPECT_TRUE(seen.insert(entry.key).second) << "listed twice: " << entry.key;
        EXPECT_TRUE(entry.key.rfind("zant", 0) == 0 || entry.key.rfind("orvane", 0) == 0 ||
                    entry.key.rfind("vexo", 0) == 0)
            << entry.key;
        if (entry.value && !entry.isSet) {
            // A default must have the key's declared type, or `config set` and reading would disagree.
            const bool typeMatches =
                (entry.type == PreferenceType::string && std::holds_alternative<std::string>(*entry.value)) ||
                (entry.type == PreferenceType::boolean && std::holds_alternative<bool>(*entry.value)) ||
                (entry.type == PreferenceType::number && std::holds_alternative<double>(*entry.value));
            EXPECT_TRUE(typeMatches) << entry.key;
        }
    }
    EXPECT_FALSE(seen.count("someoneElsesKey"));

    const auto find = [&](std::string_view key) {
        for (const auto& entry : entries) {
            if (entry.key == key) return entry;
        }
        ADD_FAILURE() << "missing " << key;
        return PreferenceListEntry{};
    };
    EXPECT_TRUE(find("zantDefaultRecordingCursorMode").isSet);
    EXPECT_EQ(find("zantDefaultRecordingCursorMode").value, PreferenceValue(std::string("touch")));
    EXPECT_FALSE(find("zantShareMaxUploadMB").isSet);
    EXPECT_EQ(find("zantShareMaxUploadMB").value, PreferenceValue(512.0));
    EXPECT_FALSE(find("zantExportQuality").value);
    EXPECT_EQ(find("orvane.composition.unifiedLayerModelEnabled").value, PreferenceValue(false));
}

TEST(PreferenceText, ValuesPrintInTheirShortestExactForm) {
    EXPECT_EQ(formatPreferenceValue(512.0), "512");
    EXPECT_EQ(formatPreferenceValue(0.1), "0.1");
    EXPECT_EQ(formatPreferenceValue(true), "true");
    EXPECT_EQ(formatPreferenceValue(std::string("a b")), "a b");
}

}  // namespace
}  // namespace orvane
