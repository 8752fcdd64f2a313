#pragma once

#include <optional>
#include <string>
#include <vector>

#include "recording/screen_recorder.h"
#include "recording/tracks/device_catalog.h"

namespace orvane::studio {

// What the Recording menu can ask for. The window maps each to the engine call it stands for.
enum class MenuCommand {
    none,
    startLastSource,
    newRecording,
    startScreenRecording,
    choosePicker,
    stopRecording,
    cancelStarting,
    toggleFaceCamera,
    toggleMicrophone,
    toggleSystemAudio,
    chooseCamera,      // `argument`: the device id, empty for the system default
    chooseMicrophone,  // likewise
    refreshSources,
    settings,
};

// One entry of the menu as plain data: a command, a check mark, a disabled note, a separator or a
// submenu. Built anew from the state whenever the menu is about to show, so it never goes stale.
struct MenuEntry {
    std::string title;
    MenuCommand command = MenuCommand::none;
    std::string argument;
    bool enabled = true;
    std::optional<bool> checked;  // a checkable entry
    bool separator = false;
    std::vector<MenuEntry> children;  // a submenu when not empty
};

// Where the source catalogue stands.
enum class CatalogStatus { loading, loaded, failed };

struct RecordingMenuState {
    ScreenRecorder::Phase phase = ScreenRecorder::Phase::idle;
    std::optional<std::string> lastSourceName;  // the last used source while it still exists
    bool includeWebcam = false;
    bool includeMicrophone = false;
    bool includeSystemAudio = false;
    std::string cameraID;  // empty: system default
    std::string microphoneID;
    std::vector<CaptureDeviceInfo> cameras;
    std::vector<CaptureDeviceInfo> microphones;
    CatalogStatus catalog = CatalogStatus::loading;
    std::size_t screenCount = 0;
    bool refreshing = false;
};

// The Recording menu's entries, titles and conditions as the menu-bar commands define them.
std::vector<MenuEntry> recordingMenuEntries(const RecordingMenuState& state);

}  // namespace orvane::studio
