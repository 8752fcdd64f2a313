#include "studio/recording_menu.h"

namespace orvane::studio {

namespace {

using Phase = ScreenRecorder::Phase;

MenuEntry command(std::string title, MenuCommand what, bool enabled = true) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.command = what;
    entry.enabled = enabled;
    return entry;
}

MenuEntry toggle(std::string title, MenuCommand what, bool on) {
    MenuEntry entry = command(std::move(title), what);
    entry.checked = on;
    return entry;
}

MenuEntry note(std::string title) { return command(std::move(title), MenuCommand::none, false); }

MenuEntry separator() {
    MenuEntry entry;
    entry.separator = true;
    return entry;
}

const CaptureDeviceInfo* findDevice(const std::vector<CaptureDeviceInfo>& devices, const std::string& id) {
    for (const auto& device : devices) {
        if (device.uniqueID == id) return &device;
    }
    return nullptr;
}

// "Face Camera: " + name, ": Default" for the system default, " Off" when the track is not recorded.
MenuEntry deviceMenu(const std::string& label, bool on, const std::string& chosenID,
                     const std::vector<CaptureDeviceInfo>& devices, MenuCommand choose, const std::string& noneFound) {
    MenuEntry menu;
    if (!on) {
        menu.title = label + " Off";
    } else if (chosenID.empty()) {
        menu.title = label + ": Default";
    } else {
        const auto* device = findDevice(devices, chosenID);
        // A stored device that is unplugged is still the choice; the recorder falls back to the default.
        menu.title = label + ": " + (device ? device->localizedName : chosenID);
    }
    if (devices.empty()) {
        menu.children.push_back(note(noneFound));
        return menu;
    }
    MenuEntry systemDefault = command("System Default", choose);
    systemDefault.checked = chosenID.empty();
    menu.children.push_back(systemDefault);
    for (const auto& device : devices) {
        MenuEntry entry = command(device.localizedName, choose);
        entry.argument = device.uniqueID;
        entry.checked = device.uniqueID == chosenID;
        menu.children.push_back(entry);
    }
    return menu;
}

}  // namespace

std::vector<MenuEntry> recordingMenuEntries(const RecordingMenuState& state) {
    std::vector<MenuEntry> entries;
    // A finished or failed recorder is idle again for the user: both clear on the next start.
    const bool idle = state.phase == Phase::idle || state.phase == Phase::finished || state.phase == Phase::failed;
    if (idle) {
        if (state.lastSourceName)
            entries.push_back(command("Start Recording: " + *state.lastSourceName, MenuCommand::startLastSource));
        entries.push_back(command("New Recording...", MenuCommand::newRecording));
        entries.push_back(command("Start Screen Recording", MenuCommand::startScreenRecording, state.screenCount > 0));
        entries.push_back(command("Choose in Recording Picker...", MenuCommand::choosePicker));
    } else if (state.phase == Phase::recording) {
        entries.push_back(command("Stop Recording", MenuCommand::stopRecording));
    } else if (state.phase == Phase::starting) {
        entries.push_back(command("Cancel Starting Recording", MenuCommand::cancelStarting));
    } else if (state.phase == Phase::stopping) {
        entries.push_back(note("Finalizing Recording"));
    }
    entries.push_back(separator());
    entries.push_back(toggle("Record Face Camera", MenuCommand::toggleFaceCamera, state.includeWebcam));
    entries.push_back(toggle("Record Microphone", MenuCommand::toggleMicrophone, state.includeMicrophone));
    entries.push_back(toggle("Record System Audio", MenuCommand::toggleSystemAudio, state.includeSystemAudio));
    entries.push_back(deviceMenu("Face Camera", state.includeWebcam, state.cameraID, state.cameras,
                                 MenuCommand::chooseCamera, "No cameras found"));
    entries.push_back(deviceMenu("Microphone", state.includeMicrophone, state.microphoneID, state.microphones,
                                 MenuCommand::chooseMicrophone, "No microphones found"));
    entries.push_back(separator());
    entries.push_back(command(state.refreshing ? "Refreshing Sources..." : "Refresh Capture Sources",
                              MenuCommand::refreshSources, !state.refreshing));
    if (state.catalog == CatalogStatus::loading) {
        entries.push_back(note("Loading screens..."));
    } else if (state.catalog == CatalogStatus::failed) {
        entries.push_back(note("Sources need refresh"));
    } else if (state.screenCount == 0) {
        entries.push_back(note("No screens found"));
    }
    entries.push_back(separator());
    entries.push_back(command("Settings", MenuCommand::settings));
    return entries;
}

}  // namespace orvane::studio
