#pragma once

#include <string_view>

// The names under which the user's preferences are stored. They are shared with earlier releases and
// with the CLI's `orvane config` command: never rename one.
namespace orvane::preference_keys {

// Sharing backends
inline constexpr std::string_view shareBackendMode = "zantShareBackendMode";
inline constexpr std::string_view customSupabaseURL = "zantCustomSupabaseURL";
inline constexpr std::string_view customSupabaseBucket = "zantCustomSupabaseBucket";
inline constexpr std::string_view customSupabaseMetadataTable = "zantCustomSupabaseMetadataTable";
inline constexpr std::string_view customShareHost = "zantCustomShareHost";
inline constexpr std::string_view customShareURLPattern = "zantCustomShareURLPattern";
inline constexpr std::string_view byoBackendURL = "zantBYOBackendURL";
inline constexpr std::string_view byoShareHost = "zantBYOShareHost";
inline constexpr std::string_view defaultSharePermission = "zantDefaultSharePermission";
inline constexpr std::string_view shareMaxUploadMB = "zantShareMaxUploadMB";

// Look of new projects
inline constexpr std::string_view defaultCursorRing = "zantDefaultCursorRing";
inline constexpr std::string_view defaultShowCursorRing = "zantDefaultShowCursorRing";
inline constexpr std::string_view defaultChromeStyle = "zantDefaultChromeStyle";
inline constexpr std::string_view autoZoomOnClicks = "zantAutoZoomOnClicks";
inline constexpr std::string_view autoZoomCinematic = "zantAutoZoomCinematic";
inline constexpr std::string_view defaultCursorVisualStyle = "zantDefaultCursorVisualStyle";
inline constexpr std::string_view defaultCursorClickAnimationStyle = "zantDefaultCursorClickAnimationStyle";
inline constexpr std::string_view defaultCursorIconSymbol = "zantDefaultCursorIconSymbol";

// New recordings
inline constexpr std::string_view defaultAudioOn = "zantDefaultAudioOn";
inline constexpr std::string_view defaultWebcamOn = "zantDefaultWebcamOn";
inline constexpr std::string_view defaultMicOn = "zantDefaultMicOn";
inline constexpr std::string_view defaultCameraID = "zantDefaultCameraID";
inline constexpr std::string_view defaultMicrophoneID = "zantDefaultMicrophoneID";
inline constexpr std::string_view lastUsedSourceID = "zantLastUsedSourceID";
// The Wayland screen-cast portal's restore tokens: the user's grant of a screen or a window.
inline constexpr std::string_view portalRestoreTokenScreen = "orvanePortalRestoreTokenScreen";
inline constexpr std::string_view portalRestoreTokenWindow = "orvanePortalRestoreTokenWindow";
// The one-time notice that clicks need read access to the input devices on Wayland was shown.
inline constexpr std::string_view inputGroupNoticeShown = "orvaneInputGroupNoticeShown";
inline constexpr std::string_view defaultRecordingCursorMode = "zantDefaultRecordingCursorMode";
inline constexpr std::string_view defaultRecordingCursorModeMigratedV2 = "zantDefaultRecordingCursorModeMigratedV2";
inline constexpr std::string_view defaultMobileTouchMode = "zantDefaultMobileTouchMode";
inline constexpr std::string_view defaultIncludeWindowChrome = "zantDefaultIncludeWindowChrome";

// Recording panels
inline constexpr std::string_view faceCameraFrame = "zantFaceCameraFrame";
inline constexpr std::string_view faceCameraRadius = "zantFaceCameraRadius";
inline constexpr std::string_view faceCameraFlipped = "zantFaceCameraFlipped";
inline constexpr std::string_view teleprompterFrame = "orvaneTeleprompterFrame";
inline constexpr std::string_view teleprompterFontSize = "orvaneTeleprompterFontSize";
inline constexpr std::string_view teleprompterScrollSpeed = "orvaneTeleprompterScrollSpeed";
inline constexpr std::string_view teleprompterTextPlateOpacity = "orvaneTeleprompterTextPlateOpacity";

// Hot keys and screenshots
inline constexpr std::string_view hotkeyNewRecordingEnabled = "zantHotkeyNewRecordingEnabled";
inline constexpr std::string_view hotkeyScreenshotEnabled = "zantHotkeyScreenshotEnabled";
inline constexpr std::string_view hotkeyOnboardingShown = "zantHotkeyOnboardingShown";
inline constexpr std::string_view screenshotDestination = "zantScreenshotDestination";

// Export and voice
inline constexpr std::string_view exportQuality = "zantExportQuality";
inline constexpr std::string_view lastExportDirectory = "zantLastExportDirectory";
inline constexpr std::string_view voiceProviderKind = "zantVoiceProviderKind";
inline constexpr std::string_view voiceProviderCustomEndpoint = "zantVoiceProviderCustomEndpoint";
// Which recogniser captions use: "local" (this computer) or "openai" (the user's own key).
inline constexpr std::string_view speechRecognizer = "orvaneSpeechRecognizer";

// Application
inline constexpr std::string_view productAnalyticsEnabled = "orvaneProductAnalyticsEnabled";
inline constexpr std::string_view analyticsInstallID = "orvaneAnalyticsInstallID";
inline constexpr std::string_view analyticsAuthenticatedUserID = "orvaneAnalyticsAuthenticatedUserID";
inline constexpr std::string_view analyticsAuthenticatedEmail = "orvaneAnalyticsAuthenticatedEmail";
inline constexpr std::string_view launchAtLoginDefaultConfigured = "zantLaunchAtLoginDefaultConfigured";
inline constexpr std::string_view lastPromptedUpdateVersion = "orvaneLastPromptedUpdateVersion";
inline constexpr std::string_view unifiedLayerModelEnabled = "orvane.composition.unifiedLayerModelEnabled";

// Account
inline constexpr std::string_view apiBaseURL = "vexoAPIBaseURL";
inline constexpr std::string_view authExpiresAt = "vexoExpiresAt";
inline constexpr std::string_view authCachedUser = "vexoUser";

}  // namespace orvane::preference_keys
