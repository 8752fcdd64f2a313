#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/geometry.h"
#include "model/recording_cursor_mode.h"
#include "model/recording_meta.h"
#include "platform/screen_capture.h"
#include "recording/recording_options.h"

namespace orvane {

// A monitor. Sizes are native pixels; the frame is in desktop pixels.
struct DisplaySource {
    std::uint32_t id = 0;
    std::string name;  // "Main Display", or "Display " + 1-based position
    int width = 0;
    int height = 0;
    Rect frame;
    int topPanelHeight = 0;
};

// A top-level window. `bundleIdentifier` stands for the application's identity on this desktop: its
// WM_CLASS class, lower-cased.
struct WindowSource {
    std::uint64_t id = 0;
    std::string title;
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::int64_t> processID;
    int width = 0;
    int height = 0;
    Rect frame;  // the client area
    int titleBarHeight = 0;
    std::string wmInstance;  // WM_CLASS as set, for the browser and simulator rules
    std::string wmClass;
};

// An application: every window of one WM_CLASS (or one process when it has none), recorded as the
// display it is on.
struct ApplicationSource {
    std::string id;  // "app:" + bundle identifier, or "pid:" + process id
    std::string name;
    std::optional<std::string> bundleIdentifier;
    std::uint32_t displayID = 0;
    Rect displayFrame;
    std::vector<std::uint64_t> windowIDs;  // front to back
};

using RecordingSource = std::variant<DisplaySource, WindowSource, ApplicationSource>;

RecordingSourceKind sourceKind(const RecordingSource& source);
// "display:" + number, "window:" + number, the application's id.
std::string sourceID(const RecordingSource& source);
// The name a picker shows: display name, window title (the application name when untitled), app name.
std::string sourceTitle(const RecordingSource& source);

struct SourceCatalogSnapshot {
    std::vector<DisplaySource> displays;
    std::vector<WindowSource> windows;
    std::vector<ApplicationSource> applications;
};

// What can be recorded, from the desktop's shareable content: every display; windows at least 80 x 60
// that name an application, without this process's own unless `includeOwnWindows`; applications other
// than this process with at least one listed window.
SourceCatalogSnapshot buildSourceCatalog(const ShareableContent& content, bool includeOwnWindows);

std::optional<RecordingSource> findSource(const SourceCatalogSnapshot& snapshot, std::string_view id);

// The source a new recording starts with: the last used one while it still exists, else the first
// display; with a preferred kind, the first of that kind, falling back to the first display. Nothing
// when there is no display at all.
std::optional<RecordingSource> defaultSource(const SourceCatalogSnapshot& snapshot, std::string_view lastUsedID,
                                             std::optional<RecordingSourceKind> preferredKind = std::nullopt);

// A web browser by WM_CLASS: Firefox, Chromium, Chrome, Brave, Edge, Vivaldi, Opera and their channels.
bool isWebBrowser(const WindowSource& window);
// A device simulator or emulator window (its meta.json says so, and the editor frames it as a device).
bool isDeviceSimulator(const WindowSource& window);

// The user's defaults for new recordings, as the front end read them from its settings.
struct RecordingDefaults {
    bool systemAudio = true;
    bool webcam = false;
    bool microphone = true;
    bool windowChrome = false;
    RecordingCursorMode cursorMode = RecordingCursorMode::pointer;
    std::optional<std::string> cursorVisualStyle;          // the style chosen for new projects
    std::optional<std::string> cursorClickAnimationStyle;  // likewise
};

// New-recording options from the user's defaults; `activateSource` is on for recordings the user starts.
RecordingOptions optionsFromDefaults(const RecordingDefaults& defaults);
// Applies a cursor mode to `options` the way the new-recording sheet does: only the cursor choices
// change, taken from `defaults` as they read with that mode.
void applyCursorMode(RecordingOptions& options, RecordingCursorMode mode, const RecordingDefaults& defaults);

}  // namespace orvane
