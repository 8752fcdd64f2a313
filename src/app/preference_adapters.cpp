#include "app/preference_adapters.h"

#include "model/recording_cursor_mode.h"

namespace orvane {

RecordingDefaults recordingDefaults(const Preferences& preferences) {
    RecordingDefaults defaults;
    defaults.systemAudio = preferences.defaultAudioOn();
    defaults.webcam = preferences.defaultWebcamOn();
    defaults.microphone = preferences.defaultMicOn();
    defaults.windowChrome = preferences.defaultIncludeWindowChrome();
    defaults.cursorMode = normalizedRecordingCursorMode(preferences.defaultRecordingCursorMode());
    defaults.cursorVisualStyle = preferences.defaultCursorVisualStyle();
    defaults.cursorClickAnimationStyle = preferences.defaultCursorClickAnimationStyle();
    return defaults;
}

RecordingOptions optionsFromPreferences(const Preferences& preferences) {
    return optionsFromDefaults(recordingDefaults(preferences));
}

void applyCursorMode(RecordingOptions& options, std::string_view mode, Preferences& preferences) {
    const auto normalized = normalizedRecordingCursorMode(mode);
    preferences.setDefaultRecordingCursorMode(rawValue(normalized));
    preferences.setDefaultMobileTouchMode(normalized == RecordingCursorMode::touch);
    applyCursorMode(options, normalized, recordingDefaults(preferences));
}

RecordingFlow::RememberSource rememberLastUsedSource(Preferences& preferences) {
    return [&preferences](const std::string& sourceID) { preferences.setLastUsedSourceID(sourceID); };
}

FaceCameraPanelSettings faceCameraPanelSettings(const Preferences& preferences) {
    return {preferences.faceCameraFrame(), preferences.faceCameraRadius(), preferences.faceCameraFlipped()};
}

FaceCameraPanelMemory faceCameraPanelMemory(Preferences& preferences) {
    return {[&preferences](const std::string& frame) { preferences.setFaceCameraFrame(frame); },
            [&preferences](double radius) { preferences.setFaceCameraRadius(radius); },
            [&preferences](bool flipped) { preferences.setFaceCameraFlipped(flipped); }};
}

TeleprompterSettings teleprompterSettings(const Preferences& preferences) {
    return {preferences.teleprompterFrame(), preferences.teleprompterTextPlateOpacity(),
            preferences.teleprompterFontSize(), preferences.teleprompterScrollSpeed()};
}

TeleprompterMemory teleprompterMemory(Preferences& preferences) {
    return {[&preferences](const std::string& frame) { preferences.setTeleprompterFrame(frame); },
            [&preferences](double opacity) { preferences.setTeleprompterTextPlateOpacity(opacity); },
            [&preferences](double points) { preferences.setTeleprompterFontSize(points); },
            [&preferences](double speed) { preferences.setTeleprompterScrollSpeed(speed); }};
}

ScreenshotDestination screenshotDestination(const Preferences& preferences) {
    return screenshotDestinationFromRaw(preferences.screenshotDestination());
}

EditorSettings editorSettings(const Preferences& preferences) {
    return {preferences.autoZoomOnClicks(), preferences.autoZoomCinematic(), preferences.unifiedLayerModelEnabled()};
}

StoredAuthSession storedAuthSession(const Preferences& preferences) {
    return {preferences.authExpiresAt(), preferences.authCachedUser()};
}

AuthStore::KeepStoredSession keepAuthSession(Preferences& preferences) {
    return [&preferences](const std::optional<StoredAuthSession>& session) {
        if (!session) {
            preferences.store().remove(preference_keys::authExpiresAt);
            preferences.store().remove(preference_keys::authCachedUser);
            return;
        }
        if (session->expiresAt) preferences.setAuthExpiresAt(*session->expiresAt);
        if (session->user) preferences.setAuthCachedUser(*session->user);
    };
}

}  // namespace orvane
