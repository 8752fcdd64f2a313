#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/preference_keys.h"
#include "platform/preferences_store.h"

namespace orvane {

enum class PreferenceType { string, boolean, number };

// "string", "boolean", "number": how the CLI names a key's type.
std::string_view preferenceTypeName(PreferenceType type);

// One known preference: its stored name, the kind of value it holds, and the value it reads as while
// unset. No default means the feature reading it decides (the export quality, the panel frames).
struct PreferenceKeyInfo {
    std::string_view key;
    PreferenceType type;
    std::optional<PreferenceValue> defaultValue;
};

// Every preference the application reads, in settings-screen order.
const std::vector<PreferenceKeyInfo>& knownPreferences();
const PreferenceKeyInfo* findKnownPreference(std::string_view key);

// A value as the CLI prints it: strings as they are, "true"/"false", numbers in their shortest exact form.
std::string formatPreferenceValue(const PreferenceValue& value);
// true/false, 1/0, yes/no in any case, surrounding white space ignored.
std::optional<bool> parseBooleanText(std::string_view text);

// Input for a preference that cannot be taken: an unknown key or a value of the wrong type.
class PreferenceInputError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Where shared videos go. Raw values "hosted", "customSupabase", "byoHTTP".
enum class ShareBackendMode { hosted, customSupabase, byoHTTP };
std::string_view rawValue(ShareBackendMode mode);
std::optional<ShareBackendMode> shareBackendModeFromRaw(std::string_view raw);

// A known key as `orvane config list` shows it.
struct PreferenceListEntry {
    std::string key;
    PreferenceType type;
    std::optional<PreferenceValue> value;  // the stored value, else the default, else nothing
    bool isSet = false;
};

// Typed access to the user's preferences, one accessor per key, each with its documented default.
// A thin view: every read goes to the store, so a change made by another reader (or another process)
// is seen at once. Stored values of a neighbouring kind are read leniently, as a hand-edited file may
// hold "true" as a string or 1 as a number.
class Preferences {
public:
    explicit Preferences(PreferencesStore& store) : store_(store) {}

    PreferencesStore& store() const { return store_; }

    // Sharing. Any stored mode other than the three raw values reads as hosted.
    ShareBackendMode shareBackendMode() const;
    void setShareBackendMode(ShareBackendMode mode) { setString(preference_keys::shareBackendMode, rawValue(mode)); }
    std::string customSupabaseURL() const { return string(preference_keys::customSupabaseURL); }
    void setCustomSupabaseURL(std::string_view url) { setString(preference_keys::customSupabaseURL, url); }
    std::string customSupabaseBucket() const { return string(preference_keys::customSupabaseBucket); }
    void setCustomSupabaseBucket(std::string_view bucket) { setString(preference_keys::customSupabaseBucket, bucket); }
    std::string customSupabaseMetadataTable() const { return string(preference_keys::customSupabaseMetadataTable); }
    void setCustomSupabaseMetadataTable(std::string_view table) {
        setString(preference_keys::customSupabaseMetadataTable, table);
    }
    std::string customShareHost() const { return string(preference_keys::customShareHost); }
    void setCustomShareHost(std::string_view host) { setString(preference_keys::customShareHost, host); }
    std::string customShareURLPattern() const { return string(preference_keys::customShareURLPattern); }
    void setCustomShareURLPattern(std::string_view pattern) {
        setString(preference_keys::customShareURLPattern, pattern);
    }
    // Trimmed of white space: a pasted URL often carries a trailing newline.
    std::string byoBackendURL() const;
    void setBYOBackendURL(std::string_view url) { setString(preference_keys::byoBackendURL, url); }
    // Trimmed; an empty share host means the backend URL serves the share pages too.
    std::string byoShareHost() const;
    void setBYOShareHost(std::string_view host) { setString(preference_keys::byoShareHost, host); }
    std::string defaultSharePermission() const { return string(preference_keys::defaultSharePermission); }
    void setDefaultSharePermission(std::string_view permission) {
        setString(preference_keys::defaultSharePermission, permission);
    }
    // The user's limit in megabytes; nothing when unset or not positive, and the share path then applies
    // its own default. The settings screen shows kSettingsDefaultShareMaxUploadMB for an unset limit.
    static constexpr double kSettingsDefaultShareMaxUploadMB = 512.0;
    std::optional<double> shareMaxUploadMB() const;
    void setShareMaxUploadMB(double megabytes) { setNumber(preference_keys::shareMaxUploadMB, megabytes); }

    // Look of new projects.
    std::string defaultCursorRing() const { return string(preference_keys::defaultCursorRing); }
    void setDefaultCursorRing(std::string_view name) { setString(preference_keys::defaultCursorRing, name); }
    bool defaultShowCursorRing() const { return boolean(preference_keys::defaultShowCursorRing); }
    void setDefaultShowCursorRing(bool on) { setBoolean(preference_keys::defaultShowCursorRing, on); }
    std::string defaultChromeStyle() const { return string(preference_keys::defaultChromeStyle); }
    void setDefaultChromeStyle(std::string_view style) { setString(preference_keys::defaultChromeStyle, style); }
    bool autoZoomOnClicks() const { return boolean(preference_keys::autoZoomOnClicks); }
    void setAutoZoomOnClicks(bool on) { setBoolean(preference_keys::autoZoomOnClicks, on); }
    bool autoZoomCinematic() const { return boolean(preference_keys::autoZoomCinematic); }
    void setAutoZoomCinematic(bool on) { setBoolean(preference_keys::autoZoomCinematic, on); }
    std::optional<std::string> defaultCursorVisualStyle() const {
        return optionalString(preference_keys::defaultCursorVisualStyle);
    }
    void setDefaultCursorVisualStyle(std::string_view style) {
        setString(preference_keys::defaultCursorVisualStyle, style);
    }
    std::optional<std::string> defaultCursorClickAnimationStyle() const {
        return optionalString(preference_keys::defaultCursorClickAnimationStyle);
    }
    void setDefaultCursorClickAnimationStyle(std::string_view style) {
        setString(preference_keys::defaultCursorClickAnimationStyle, style);
    }
    std::optional<std::string> defaultCursorIconSymbol() const {
        return optionalString(preference_keys::defaultCursorIconSymbol);
    }
    void setDefaultCursorIconSymbol(std::string_view symbol) {
        setString(preference_keys::defaultCursorIconSymbol, symbol);
    }

    // New recordings.
    bool defaultAudioOn() const { return boolean(preference_keys::defaultAudioOn); }
    void setDefaultAudioOn(bool on) { setBoolean(preference_keys::defaultAudioOn, on); }
    bool defaultWebcamOn() const { return boolean(preference_keys::defaultWebcamOn); }
    void setDefaultWebcamOn(bool on) { setBoolean(preference_keys::defaultWebcamOn, on); }
    bool defaultMicOn() const { return boolean(preference_keys::defaultMicOn); }
    void setDefaultMicOn(bool on) { setBoolean(preference_keys::defaultMicOn, on); }
    // Empty means the system's default device.
    std::string defaultCameraID() const { return string(preference_keys::defaultCameraID); }
    void setDefaultCameraID(std::string_view id) { setString(preference_keys::defaultCameraID, id); }
    std::string defaultMicrophoneID() const { return string(preference_keys::defaultMicrophoneID); }
    void setDefaultMicrophoneID(std::string_view id) { setString(preference_keys::defaultMicrophoneID, id); }
    std::string lastUsedSourceID() const { return string(preference_keys::lastUsedSourceID); }
    void setLastUsedSourceID(std::string_view id) { setString(preference_keys::lastUsedSourceID, id); }
    // The portal's grant for a screen, or for a window; empty until the user granted one.
    std::string portalRestoreToken(bool window) const {
        return string(window ? preference_keys::portalRestoreTokenWindow : preference_keys::portalRestoreTokenScreen);
    }
    void setPortalRestoreToken(bool window, std::string_view token) {
        setString(window ? preference_keys::portalRestoreTokenWindow : preference_keys::portalRestoreTokenScreen,
                  token);
    }
    bool inputGroupNoticeShown() const { return boolean(preference_keys::inputGroupNoticeShown); }
    void setInputGroupNoticeShown(bool shown) { setBoolean(preference_keys::inputGroupNoticeShown, shown); }
    // Raw cursor mode: "system", "pointer", "touch", "largePointer", "icon".
    std::string defaultRecordingCursorMode() const { return string(preference_keys::defaultRecordingCursorMode); }
    void setDefaultRecordingCursorMode(std::string_view mode) {
        setString(preference_keys::defaultRecordingCursorMode, mode);
    }
    bool defaultRecordingCursorModeMigratedV2() const {
        return boolean(preference_keys::defaultRecordingCursorModeMigratedV2);
    }
    void setDefaultRecordingCursorModeMigratedV2(bool done) {
        setBoolean(preference_keys::defaultRecordingCursorModeMigratedV2, done);
    }
    bool defaultMobileTouchMode() const { return boolean(preference_keys::defaultMobileTouchMode); }
    void setDefaultMobileTouchMode(bool on) { setBoolean(preference_keys::defaultMobileTouchMode, on); }
    bool defaultIncludeWindowChrome() const { return boolean(preference_keys::defaultIncludeWindowChrome); }
    void setDefaultIncludeWindowChrome(bool on) { setBoolean(preference_keys::defaultIncludeWindowChrome, on); }

    // Recording panels: what was last stored; the panels apply their own defaults.
    std::optional<std::string> faceCameraFrame() const { return optionalString(preference_keys::faceCameraFrame); }
    void setFaceCameraFrame(std::string_view frame) { setString(preference_keys::faceCameraFrame, frame); }
    std::optional<double> faceCameraRadius() const { return optionalNumber(preference_keys::faceCameraRadius); }
    void setFaceCameraRadius(double radius) { setNumber(preference_keys::faceCameraRadius, radius); }
    bool faceCameraFlipped() const { return boolean(preference_keys::faceCameraFlipped); }
    void setFaceCameraFlipped(bool flipped) { setBoolean(preference_keys::faceCameraFlipped, flipped); }
    std::optional<std::string> teleprompterFrame() const { return optionalString(preference_keys::teleprompterFrame); }
    void setTeleprompterFrame(std::string_view frame) { setString(preference_keys::teleprompterFrame, frame); }
    std::optional<double> teleprompterFontSize() const { return optionalNumber(preference_keys::teleprompterFontSize); }
    void setTeleprompterFontSize(double points) { setNumber(preference_keys::teleprompterFontSize, points); }
    std::optional<double> teleprompterScrollSpeed() const {
        return optionalNumber(preference_keys::teleprompterScrollSpeed);
    }
    void setTeleprompterScrollSpeed(double pointsPerSecond) {
        setNumber(preference_keys::teleprompterScrollSpeed, pointsPerSecond);
    }
    std::optional<double> teleprompterTextPlateOpacity() const {
        return optionalNumber(preference_keys::teleprompterTextPlateOpacity);
    }
    void setTeleprompterTextPlateOpacity(double opacity) {
        setNumber(preference_keys::teleprompterTextPlateOpacity, opacity);
    }

    // Hot keys and screenshots.
    bool hotkeyNewRecordingEnabled() const { return boolean(preference_keys::hotkeyNewRecordingEnabled); }
    void setHotkeyNewRecordingEnabled(bool on) { setBoolean(preference_keys::hotkeyNewRecordingEnabled, on); }
    bool hotkeyScreenshotEnabled() const { return boolean(preference_keys::hotkeyScreenshotEnabled); }
    void setHotkeyScreenshotEnabled(bool on) { setBoolean(preference_keys::hotkeyScreenshotEnabled, on); }
    bool hotkeyOnboardingShown() const { return boolean(preference_keys::hotkeyOnboardingShown); }
    void setHotkeyOnboardingShown(bool shown) { setBoolean(preference_keys::hotkeyOnboardingShown, shown); }
    // "project" or "desktop".
    std::string screenshotDestination() const { return string(preference_keys::screenshotDestination); }
    void setScreenshotDestination(std::string_view where) { setString(preference_keys::screenshotDestination, where); }

    // Export and voice: raw values whose defaults belong to the export controller and the voice panel.
    std::optional<std::string> exportQuality() const { return optionalString(preference_keys::exportQuality); }
    void setExportQuality(std::string_view quality) { setString(preference_keys::exportQuality, quality); }
    std::optional<std::string> lastExportDirectory() const {
        return optionalString(preference_keys::lastExportDirectory);
    }
    void setLastExportDirectory(std::string_view folder) { setString(preference_keys::lastExportDirectory, folder); }
    std::optional<std::string> voiceProviderKind() const { return optionalString(preference_keys::voiceProviderKind); }
    void setVoiceProviderKind(std::string_view kind) { setString(preference_keys::voiceProviderKind, kind); }
    std::optional<std::string> voiceProviderCustomEndpoint() const {
        return optionalString(preference_keys::voiceProviderCustomEndpoint);
    }
    void setVoiceProviderCustomEndpoint(std::string_view endpoint) {
        setString(preference_keys::voiceProviderCustomEndpoint, endpoint);
    }
    // "local" or "openai"; the speech module reads other values as "local".
    std::string speechRecognizer() const { return string(preference_keys::speechRecognizer); }
    void setSpeechRecognizer(std::string_view choice) { setString(preference_keys::speechRecognizer, choice); }

    // Application.
    bool productAnalyticsEnabled() const { return boolean(preference_keys::productAnalyticsEnabled); }
    void setProductAnalyticsEnabled(bool on) { setBoolean(preference_keys::productAnalyticsEnabled, on); }
    std::optional<std::string> analyticsInstallID() const {
        return optionalString(preference_keys::analyticsInstallID);
    }
    void setAnalyticsInstallID(std::string_view id) { setString(preference_keys::analyticsInstallID, id); }
    std::optional<std::string> analyticsAuthenticatedUserID() const {
        return optionalString(preference_keys::analyticsAuthenticatedUserID);
    }
    void setAnalyticsAuthenticatedUserID(std::string_view id) {
        setString(preference_keys::analyticsAuthenticatedUserID, id);
    }
    std::optional<std::string> analyticsAuthenticatedEmail() const {
        return optionalString(preference_keys::analyticsAuthenticatedEmail);
    }
    void setAnalyticsAuthenticatedEmail(std::string_view email) {
        setString(preference_keys::analyticsAuthenticatedEmail, email);
    }
    bool launchAtLoginDefaultConfigured() const { return boolean(preference_keys::launchAtLoginDefaultConfigured); }
    void setLaunchAtLoginDefaultConfigured(bool done) {
        setBoolean(preference_keys::launchAtLoginDefaultConfigured, done);
    }
    std::optional<std::string> lastPromptedUpdateVersion() const {
        return optionalString(preference_keys::lastPromptedUpdateVersion);
    }
    void setLastPromptedUpdateVersion(std::string_view version) {
        setString(preference_keys::lastPromptedUpdateVersion, version);
    }
    bool unifiedLayerModelEnabled() const { return boolean(preference_keys::unifiedLayerModelEnabled); }
    void setUnifiedLayerModelEnabled(bool on) { setBoolean(preference_keys::unifiedLayerModelEnabled, on); }

    // Account. The backend base URL override, trimmed; nothing when unset or blank.
    std::optional<std::string> apiBaseURLOverride() const;
    void setAPIBaseURLOverride(std::string_view url) { setString(preference_keys::apiBaseURL, url); }
    // The session expiry as an ISO 8601 string, and the cached signed-in user.
    std::optional<std::string> authExpiresAt() const { return optionalString(preference_keys::authExpiresAt); }
    void setAuthExpiresAt(std::string_view iso8601) { setString(preference_keys::authExpiresAt, iso8601); }
    std::optional<std::string> authCachedUser() const { return optionalString(preference_keys::authCachedUser); }
    void setAuthCachedUser(std::string_view encoded) { setString(preference_keys::authCachedUser, encoded); }

    // Every known key with its current value, for `orvane config list`.
    std::vector<PreferenceListEntry> list() const;
    // `orvane config set KEY VALUE`: parses `text` by the key's type. Throws PreferenceInputError for an
    // unknown key or a value of the wrong type (nothing is stored then), PreferencesError when saving fails.
    void setFromString(std::string_view key, std::string_view text);
    // Returns a known key to its default; unknown keys are refused with PreferenceInputError.
    void unset(std::string_view key);

private:
    std::string string(std::string_view key) const;
    std::optional<std::string> optionalString(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::optional<double> optionalNumber(std::string_view key) const;

    void setString(std::string_view key, std::string_view value) { store_.set(key, std::string(value)); }
    void setBoolean(std::string_view key, bool value) { store_.set(key, value); }
    void setNumber(std::string_view key, double value) { store_.set(key, value); }

    PreferencesStore& store_;
};

}  // namespace orvane
