#pragma once

// Every way of asking for a new recording (menu, hot key, deep link) ends in the router, which the
// home window observes; and the recording menu as plain data, so a front end only draws it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/signal.h"
#include "base/uuid.h"
#include "model/recording_meta.h"
#include "recording/recording_source.h"
#include "recording/screen_recorder.h"
#include "recording/tracks/device_catalog.h"

namespace orvane {

class Preferences;

struct NewRecordingCommandRequest {
    Uuid id;  // new for every request, so two identical requests are still two
    std::optional<RecordingSourceKind> kind;
};

// A main-loop object.
class RecordingCommandRouter {
public:
    void requestNewRecording(std::optional<RecordingSourceKind> kind = std::nullopt);
    // A new value asks the shell to open the settings window.
    void requestSettings();

    const std::optional<NewRecordingCommandRequest>& newRecordingRequest() const { return newRecordingRequest_; }
    const std::optional<Uuid>& settingsRequestID() const { return settingsRequestID_; }
    // The home window takes the request once it acts on it.
    void clearNewRecordingRequest() { newRecordingRequest_.reset(); }

    [[nodiscard]] Subscription observe(std::function<void()> observer) {
        return changed_.subscribe([observer = std::move(observer)] { observer(); });
    }

private:
    std::optional<NewRecordingCommandRequest> newRecordingRequest_;
    std::optional<Uuid> settingsRequestID_;
    Signal<> changed_;
};

// One entry of the recording menu. A separator has no title; an item with a submenu opens it.
struct RecordingMenuItem {
    std::string title;
    bool enabled = true;
    bool checked = false;
    std::function<void()> perform;  // empty for disabled items, separators and submenu titles
    std::vector<RecordingMenuItem> submenu;

    bool isSeparator() const { return title.empty(); }
};

// What the menu is computed from, as the shell last saw it.
struct RecordingMenuState {
    ScreenRecorder::Phase phase = ScreenRecorder::Phase::idle;
    std::vector<CaptureDeviceInfo> cameras;
    std::vector<CaptureDeviceInfo> microphones;

    enum class Sources { loading, ready, needRefresh };
    Sources sourcesStatus = Sources::loading;
    bool refreshingSources = false;
    SourceCatalogSnapshot sources;

    bool cliInstalled = false;
};

// The work the menu hands to the shell; each may be left empty by a front end that lacks it, and
// its item is then shown disabled.
struct RecordingMenuActions {
    // Starts at once with the current options.
    std::function<void(const RecordingSource&)> startRecording;
    // Stops a recording, or cancels one that is starting.
    std::function<void()> stopRecording;
    std::function<void()> refreshSources;
    std::function<void()> installCLI;
    std::function<void()> removeCLI;
};

// The menu-bar extra's and the Recording menu's contents. The toggles and device choices write the
// preferences directly, so the new-recording sheet sees them at once.
class RecordingCommands {
public:
    RecordingCommands(Preferences& preferences, RecordingCommandRouter& router, RecordingMenuActions actions,
                      std::string applicationName = "Orvane");

    std::vector<RecordingMenuItem> menu(const RecordingMenuState& state) const;

private:
    void appendRecordingItems(std::vector<RecordingMenuItem>& items, const RecordingMenuState& state) const;
    RecordingMenuItem deviceMenu(const std::vector<CaptureDeviceInfo>& devices, bool on, const std::string& chosenID,
                                 const std::string& label, const std::string& offTitle, const std::string& emptyTitle,
                                 bool camera) const;

    Preferences& preferences_;
    RecordingCommandRouter& router_;
    RecordingMenuActions actions_;
    std::string applicationName_;
};

}  // namespace orvane
