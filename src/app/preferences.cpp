#include "app/preferences.h"

#include <charconv>
#include <cmath>

#include "base/text.h"

namespace orvane {

namespace {

using Type = PreferenceType;
namespace keys = preference_keys;

std::optional<double> parseNumberText(std::string_view text) {
    const std::string trimmed = trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) return std::nullopt;
    const char* begin = trimmed.data();
    const char* end = begin + trimmed.size();
    // from_chars refuses a leading '+', which people type.
    if (*begin == '+') ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// How a stored value of a neighbouring kind reads for each type; nothing when it does not fit.
std::optional<bool> asBoolean(const PreferenceValue& value) {
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    if (const auto* number = std::get_if<double>(&value)) return *number != 0;
    return parseBooleanText(std::get<std::string>(value));
}

std::optional<double> asNumber(const PreferenceValue& value) {
    if (const auto* number = std::get_if<double>(&value)) return *number;
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? 1.0 : 0.0;
    return parseNumberText(std::get<std::string>(value));
}

const PreferenceKeyInfo& requireKnown(std::string_view key) {
    const auto* info = findKnownPreference(key);
    if (!info) {
        throw PreferenceInputError("Unknown preference \"" + std::string(key) +
                                   "\". Run \"orvane config list\" to see the known keys.");
    }
    return *info;
}

}  // namespace

std::string_view preferenceTypeName(PreferenceType type) {
    switch (type) {
        case Type::string: return "string";
        case Type::boolean: return "boolean";
        case Type::number: return "number";
    }
    return "string";
}

const std::vector<PreferenceKeyInfo>& knownPreferences() {
    using V = PreferenceValue;
    static const std::vector<PreferenceKeyInfo> table = {
        {keys::shareBackendMode, Type::string, V(std::string("hosted"))},
        {keys::customSupabaseURL, Type::string, V(std::string())},
        {keys::customSupabaseBucket, Type::string, V(std::string("zant-exports"))},
        {keys::customSupabaseMetadataTable, Type::string, V(std::string("zant_exports"))},
        {keys::customShareHost, Type::string, V(std::string())},
        {keys::customShareURLPattern, Type::string, V(std::string("/s/"))},
        {keys::byoBackendURL, Type::string, V(std::string())},
        {keys::byoShareHost, Type::string, V(std::string())},
        {keys::defaultSharePermission, Type::string, V(std::string("comment"))},
        {keys::shareMaxUploadMB, Type::number, V(Preferences::kSettingsDefaultShareMaxUploadMB)},
        {keys::defaultCursorRing, Type::string, V(std::string("amber"))},
        {keys::defaultShowCursorRing, Type::boolean, V(true)},
        {keys::defaultChromeStyle, Type::string, V(std::string("auto"))},
        {keys::autoZoomOnClicks, Type::boolean, V(true)},
        {keys::autoZoomCinematic, Type::boolean, V(false)},
        {keys::defaultCursorVisualStyle, Type::string, std::nullopt},
        {keys::defaultCursorClickAnimationStyle, Type::string, std::nullopt},
        {keys::defaultCursorIconSymbol, Type::string, std::nullopt},
        {keys::defaultAudioOn, Type::boolean, V(true)},
        {keys::defaultWebcamOn, Type::boolean, V(false)},
        {keys::defaultMicOn, Type::boolean, V(true)},
        {keys::defaultCameraID, Type::string, V(std::string())},
        {keys::defaultMicrophoneID, Type::string, V(std::string())},
        {keys::lastUsedSourceID, Type::string, V(std::string())},
        {keys::inputGroupNoticeShown, Type::boolean, V(false)},
        {keys::defaultRecordingCursorMode, Type::string, V(std::string("pointer"))},
        {keys::defaultRecordingCursorModeMigratedV2, Type::boolean, V(false)},
        {keys::defaultMobileTouchMode, Type::boolean, V(false)},
        {keys::defaultIncludeWindowChrome, Type::boolean, V(false)},
        {keys::faceCameraFrame, Type::string, std::nullopt},
        {keys::faceCameraRadius, Type::number, std::nullopt},
        {keys::faceCameraFlipped, Type::boolean, V(false)},
        {keys::teleprompterFrame, Type::string, std::nullopt},
        {keys::teleprompterFontSize, Type::number, std::nullopt},
        {keys::teleprompterScrollSpeed, Type::number, std::nullopt},
        {keys::teleprompterTextPlateOpacity, Type::number, std::nullopt},
        {keys::hotkeyNewRecordingEnabled, Type::boolean, V(false)},
        {keys::hotkeyScreenshotEnabled, Type::boolean, V(false)},
        {keys::hotkeyOnboardingShown, Type::boolean, V(false)},
        {keys::screenshotDestination, Type::string, V(std::string("project"))},
        {keys::exportQuality, Type::string, std::nullopt},
        {keys::lastExportDirectory, Type::string, std::nullopt},
        {keys::voiceProviderKind, Type::string, std::nullopt},
        {keys::voiceProviderCustomEndpoint, Type::string, std::nullopt},
        {keys::speechRecognizer, Type::string, V(std::string("local"))},
        {keys::productAnalyticsEnabled, Type::boolean, V(true)},
        {keys::analyticsInstallID, Type::string, std::nullopt},
        {keys::analyticsAuthenticatedUserID, Type::string, std::nullopt},
        {keys::analyticsAuthenticatedEmail, Type::string, std::nullopt},
        {keys::launchAtLoginDefaultConfigured, Type::boolean, V(false)},
        {keys::lastPromptedUpdateVersion, Type::string, std::nullopt},
        {keys::unifiedLayerModelEnabled, Type::boolean, V(false)},
        {keys::apiBaseURL, Type::string, std::nullopt},
        {keys::authExpiresAt, Type::string, std::nullopt},
        {keys::authCachedUser, Type::string, std::nullopt},
    };
    return table;
}

const PreferenceKeyInfo* findKnownPreference(std::string_view key) {
    for (const auto& info : knownPreferences()) {
        if (info.key == key) return &info;
    }
    return nullptr;
}

std::string formatPreferenceValue(const PreferenceValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(value));
    if (error != std::errc()) return "nan";
    return std::string(buffer, end);
}

std::optional<bool> parseBooleanText(std::string_view text) {
    const std::string word = toLowerAscii(trimWhitespaceAndNewlines(text));
    if (word == "true" || word == "1" || word == "yes") return true;
    if (word == "false" || word == "0" || word == "no") return false;
    return std::nullopt;
}

std::string_view rawValue(ShareBackendMode mode) {
    switch (mode) {
        case ShareBackendMode::hosted: return "hosted";
        case ShareBackendMode::customSupabase: return "customSupabase";
        case ShareBackendMode::byoHTTP: return "byoHTTP";
    }
    return "hosted";
}

std::optional<ShareBackendMode> shareBackendModeFromRaw(std::string_view raw) {
    for (auto mode : {ShareBackendMode::hosted, ShareBackendMode::customSupabase, ShareBackendMode::byoHTTP}) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

ShareBackendMode Preferences::shareBackendMode() const {
    return shareBackendModeFromRaw(string(keys::shareBackendMode)).value_or(ShareBackendMode::hosted);
}

std::string Preferences::byoBackendURL() const { return trimWhitespaceAndNewlines(string(keys::byoBackendURL)); }

std::string Preferences::byoShareHost() const {
    auto host = trimWhitespaceAndNewlines(string(keys::byoShareHost));
    return host.empty() ? byoBackendURL() : host;
}

std::optional<double> Preferences::shareMaxUploadMB() const {
    const auto stored = optionalNumber(keys::shareMaxUploadMB);
    if (!stored || !(*stored > 0)) return std::nullopt;
    return stored;
}

std::optional<std::string> Preferences::apiBaseURLOverride() const {
    const auto stored = optionalString(keys::apiBaseURL);
    if (!stored) return std::nullopt;
    auto trimmed = trimWhitespaceAndNewlines(*stored);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

std::string Preferences::string(std::string_view key) const {
    if (auto stored = optionalString(key)) return std::move(*stored);
    const auto* info = findKnownPreference(key);
    if (info && info->defaultValue) {
        if (const auto* text = std::get_if<std::string>(&*info->defaultValue)) return *text;
    }
    return {};
}

std::optional<std::string> Preferences::optionalString(std::string_view key) const {
    const auto stored = store_.get(key);
    if (!stored) return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&*stored)) return *text;
    return std::nullopt;
}

bool Preferences::boolean(std::string_view key) const {
    if (const auto stored = store_.get(key)) {
        if (const auto flag = asBoolean(*stored)) return *flag;
    }
    const auto* info = findKnownPreference(key);
    if (info && info->defaultValue) {
        if (const auto* flag = std::get_if<bool>(&*info->defaultValue)) return *flag;
    }
    return false;
}

std::optional<double> Preferences::optionalNumber(std::string_view key) const {
    const auto stored = store_.get(key);
    if (!stored) return std::nullopt;
    return asNumber(*stored);
}

std::vector<PreferenceListEntry> Preferences::list() const {
    std::vector<PreferenceListEntry> entries;
    entries.reserve(knownPreferences().size());
    for (const auto& info : knownPreferences()) {
        auto stored = store_.get(info.key);
        const bool isSet = stored.has_value();
        entries.push_back({std::string(info.key), info.type, isSet ? std::move(stored) : info.defaultValue, isSet});
    }
    return entries;
}

void Preferences::setFromString(std::string_view key, std::string_view text) {
    const auto& info = requireKnown(key);
    const std::string name(key);
    switch (info.type) {
        case Type::string: store_.set(key, std::string(text)); return;
        case Type::boolean: {
            const auto flag = parseBooleanText(text);
            if (!flag) {
                throw PreferenceInputError("\"" + name + "\" takes a boolean (true, false, yes, no, 1 or 0), not \"" +
                                           std::string(text) + "\".");
            }
            store_.set(key, *flag);
            return;
        }
        case Type::number: {
            const auto number = parseNumberText(text);
            if (!number) {
                throw PreferenceInputError("\"" + name + "\" takes a number, not \"" + std::string(text) + "\".");
            }
            store_.set(key, *number);
            return;
        }
    }
}

void Preferences::unset(std::string_view key) {
    requireKnown(key);
    store_.remove(key);
}

}  // namespace orvane
