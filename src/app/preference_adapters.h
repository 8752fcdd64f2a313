#pragma once

// What each part of the engine takes from the user's preferences, and where its changes go back:
// the engine's parts take plain values and callbacks, and these read and write the preferences
// for them, so only the application knows the preference keys.

#include <string_view>

#include "app/preferences.h"
#include "cloud/auth_store.h"
#include "editor/editor_settings.h"
#include "recording/panels/face_camera_panel.h"
#include "recording/panels/teleprompter.h"
#include "recording/recording_flow.h"
#include "recording/recording_options.h"
#include "recording/recording_source.h"
#include "recording/screenshots/screenshot_files.h"

namespace orvane {

// New recordings.
RecordingDefaults recordingDefaults(const Preferences& preferences);
// New-recording options from the user's defaults; `activateSource` is on for recordings the user starts.
RecordingOptions optionsFromPreferences(const Preferences& preferences);
// Applies a cursor mode ("system", "pointer", "touch"; others read as "pointer") to `options`, the way
// the new-recording sheet does, and remembers it in the preferences.
void applyCursorMode(RecordingOptions& options, std::string_view mode, Preferences& preferences);
// The source a new recording starts with is remembered here.
RecordingFlow::RememberSource rememberLastUsedSource(Preferences& preferences);

// The recording panels.
FaceCameraPanelSettings faceCameraPanelSettings(const Preferences& preferences);
FaceCameraPanelMemory faceCameraPanelMemory(Preferences& preferences);
TeleprompterSettings teleprompterSettings(const Preferences& preferences);
TeleprompterMemory teleprompterMemory(Preferences& preferences);

// Screenshots.
ScreenshotDestination screenshotDestination(const Preferences& preferences);

// The editor.
EditorSettings editorSettings(const Preferences& preferences);

// The account's session beside the keychain.
StoredAuthSession storedAuthSession(const Preferences& preferences);
AuthStore::KeepStoredSession keepAuthSession(Preferences& preferences);

}  // namespace orvane
