#include "app/recording_commands.h"

#include "app/preferences.h"

namespace orvane {

void RecordingCommandRouter::requestNewRecording(std::optional<RecordingSourceKind> kind) {
    newRecordingRequest_ = NewRecordingCommandRequest{Uuid::random(), kind};
    changed_.emit();
}

void RecordingCommandRouter::requestSettings() {
    settingsRequestID_ = Uuid::random();
    changed_.emit();
}

namespace {

RecordingMenuItem action(std::string title, std::function<void()> perform) {
    RecordingMenuItem item;
    item.title = std::move(title);
    item.enabled = static_cast<bool>(perform);
    item.perform = std::move(perform);
    return item;
}

RecordingMenuItem disabled(std::string title) {
    RecordingMenuItem item;
    item.title = std::move(title);
    item.enabled = false;
    return item;
}

RecordingMenuItem toggle(std::string title, bool on, std::function<void()> perform) {
    RecordingMenuItem item = action(std::move(title), std::move(perform));
    item.checked = on;
    return item;
}

RecordingMenuItem separator() { return RecordingMenuItem{}; }

// A finished or failed recording leaves the recorder ready for the next one.
bool isIdle(ScreenRecorder::Phase phase) {
    return phase == ScreenRecorder::Phase::idle || phase == ScreenRecorder::Phase::finished ||
           phase == ScreenRecorder::Phase::failed;
}

// The display a screen recording starts on: the last one recorded while it is still connected,
// else the first.
std::optional<DisplaySource> chosenDisplay(const SourceCatalogSnapshot& sources, const std::string& lastUsedID) {
    for (const auto& display : sources.displays) {
        if (sourceID(display) == lastUsedID) return display;
    }
    if (sources.displays.empty()) return std::nullopt;
    return sources.displays.front();
}

}  // namespace

RecordingCommands::RecordingCommands(Preferences& preferences, RecordingCommandRouter& router,
                                     RecordingMenuActions actions, std::string applicationName)
    : preferences_(preferences),
      router_(router),
      actions_(std::move(actions)),
      applicationName_(std::move(applicationName)) {}

void RecordingCommands::appendRecordingItems(std::vector<RecordingMenuItem>& items,
                                             const RecordingMenuState& state) const {
    using Phase = ScreenRecorder::Phase;
    auto stop = actions_.stopRecording;
    if (state.phase == Phase::recording) {
        items.push_back(action("Stop Recording", stop));
        return;
    }
    if (state.phase == Phase::starting) {
        items.push_back(action("Cancel Starting Recording", stop));
        return;
    }
    if (state.phase == Phase::stopping) {
        items.push_back(disabled("Finalizing Recording"));
        return;
    }
    if (!isIdle(state.phase)) return;

    auto start = actions_.startRecording;
    const std::string lastUsedID = preferences_.lastUsedSourceID();
    if (!lastUsedID.empty()) {
        if (auto source = findSource(state.sources, lastUsedID)) {
            items.push_back(action(
                "Start Recording: " + sourceTitle(*source),
                start ? std::function<void()>([start, source = *source] { start(source); }) : std::function<void()>()));
        }
    }
    RecordingCommandRouter& router = router_;
    items.push_back(action("New Recording...", [&router] { router.requestNewRecording(); }));
    const auto display = chosenDisplay(state.sources, lastUsedID);
    items.push_back(action("Start Screen Recording",
                           start && display ? std::function<void()>([start, source = *display] { start(source); })
                                            : std::function<void()>()));
    items.push_back(action("Choose in Recording Picker...", [&router] { router.requestNewRecording(); }));
}

RecordingMenuItem RecordingCommands::deviceMenu(const std::vector<CaptureDeviceInfo>& devices, bool on,
                                                const std::string& chosenID, const std::string& label,
                                                const std::string& offTitle, const std::string& emptyTitle,
                                                bool camera) const {
    RecordingMenuItem menu;
    const CaptureDeviceInfo* chosen = nullptr;
    for (const auto& device : devices) {
        if (!chosenID.empty() && device.uniqueID == chosenID) chosen = &device;
    }
    // A remembered device that is unplugged records from the default one, so the title says so.
    menu.title = !on ? offTitle : chosen ? label + ": " + chosen->localizedName : label + ": Default";
    if (devices.empty()) {
        menu.submenu.push_back(disabled(emptyTitle));
        return menu;
    }
    Preferences& preferences = preferences_;
    auto choose = [&preferences, camera](std::string id) {
        return [&preferences, camera, id = std::move(id)] {
            if (camera) {
                preferences.setDefaultCameraID(id);
            } else {
                preferences.setDefaultMicrophoneID(id);
            }
        };
    };
    menu.submenu.push_back(toggle("System Default", chosenID.empty(), choose("")));
    for (const auto& device : devices) {
        menu.submenu.push_back(toggle(device.localizedName, &device == chosen, choose(device.uniqueID)));
    }
    return menu;
}

std::vector<RecordingMenuItem> RecordingCommands::menu(const RecordingMenuState& state) const {
    std::vector<RecordingMenuItem> items;
    appendRecordingItems(items, state);
    items.push_back(separator());

    Preferences& preferences = preferences_;
    const bool webcam = preferences.defaultWebcamOn();
    const bool mic = preferences.defaultMicOn();
    const bool systemAudio = preferences.defaultAudioOn();
    items.push_back(
        toggle("Record Face Camera", webcam, [&preferences, webcam] { preferences.setDefaultWebcamOn(!webcam); }));
    items.push_back(toggle("Record Microphone", mic, [&preferences, mic] { preferences.setDefaultMicOn(!mic); }));
    items.push_back(toggle("Record System Audio", systemAudio,
                           [&preferences, systemAudio] { preferences.setDefaultAudioOn(!systemAudio); }));
    items.push_back(deviceMenu(state.cameras, webcam, preferences.defaultCameraID(), "Face Camera", "Face Camera Off",
                               "No cameras found", true));
    items.push_back(deviceMenu(state.microphones, mic, preferences.defaultMicrophoneID(), "Microphone",
                               "Microphone Off", "No microphones found", false));
    items.push_back(separator());

    if (state.refreshingSources) {
        items.push_back(disabled("Refreshing Sources..."));
    } else {
        items.push_back(action("Refresh Capture Sources", actions_.refreshSources));
    }
    if (state.sourcesStatus == RecordingMenuState::Sources::loading) {
        items.push_back(disabled("Loading screens..."));
    } else if (state.sourcesStatus == RecordingMenuState::Sources::needRefresh) {
        items.push_back(disabled("Sources need refresh"));
    } else if (state.sources.displays.empty()) {
        items.push_back(disabled("No screens found"));
    }
    items.push_back(separator());

    if (state.cliInstalled) {
        items.push_back(action("Remove " + applicationName_ + " CLI...", actions_.removeCLI));
    } else {
        items.push_back(action("Install " + applicationName_ + " CLI...", actions_.installCLI));
    }
    RecordingCommandRouter& router = router_;
    items.push_back(action("Settings", [&router] { router.requestSettings(); }));
    return items;
}

}  // namespace orvane
