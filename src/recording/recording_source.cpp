#include "recording/recording_source.h"

#include <algorithm>
#include <map>

#include "base/text.h"
#include "model/recording_cursor_mode.h"

namespace orvane {

namespace {

constexpr double kMinimumWindowWidth = 80;
constexpr double kMinimumWindowHeight = 60;

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// The identity an application goes by: its WM_CLASS class, else its instance name.
std::optional<std::string> applicationIdentifier(const CaptureWindow& window) {
    const std::string name = !window.wmClass.empty() ? window.wmClass : window.wmInstance;
    if (name.empty()) return std::nullopt;
    return toLowerAscii(name);
}

bool contains(const Rect& frame, double x, double y) {
    return x >= frame.minX() && x < frame.maxX() && y >= frame.minY() && y < frame.maxY();
}

// The display holding the window's centre, else the one it overlaps most, else the first.
const DisplaySource& displayOf(const std::vector<DisplaySource>& displays, const Rect& frame) {
    const double cx = frame.x + frame.width / 2, cy = frame.y + frame.height / 2;
    for (const auto& display : displays) {
        if (contains(display.frame, cx, cy)) return display;
    }
    const DisplaySource* best = &displays.front();
    double bestArea = 0;
    for (const auto& display : displays) {
        const double w = std::min(frame.maxX(), display.frame.maxX()) - std::max(frame.minX(), display.frame.minX());
        const double h = std::min(frame.maxY(), display.frame.maxY()) - std::max(frame.minY(), display.frame.minY());
        if (w > 0 && h > 0 && w * h > bestArea) {
            bestArea = w * h;
            best = &display;
        }
    }
    return *best;
}

bool matchesAny(std::string_view value, std::initializer_list<std::string_view> prefixes) {
    const std::string lower = toLowerAscii(value);
    for (const auto prefix : prefixes) {
        // "google-chrome-beta", "microsoft-edge-dev", "vivaldi-stable": a browser's channels share its name.
        if (lower == prefix || lower.rfind(std::string(prefix) + "-", 0) == 0) return true;
    }
    return false;
}

}  // namespace

RecordingSourceKind sourceKind(const RecordingSource& source) {
    return std::visit(Overloaded{[](const DisplaySource&) { return RecordingSourceKind::display; },
                                 [](const WindowSource&) { return RecordingSourceKind::window; },
                                 [](const ApplicationSource&) { return RecordingSourceKind::application; }},
                      source);
}

std::string sourceID(const RecordingSource& source) {
    return std::visit(Overloaded{[](const DisplaySource& d) { return "display:" + std::to_string(d.id); },
                                 [](const WindowSource& w) { return "window:" + std::to_string(w.id); },
                                 [](const ApplicationSource& a) { return a.id; }},
                      source);
}

std::string sourceTitle(const RecordingSource& source) {
    return std::visit(Overloaded{[](const DisplaySource& d) { return d.name; },
                                 [](const WindowSource& w) { return w.title.empty() ? w.appName : w.title; },
                                 [](const ApplicationSource& a) { return a.name; }},
                      source);
}

SourceCatalogSnapshot buildSourceCatalog(const ShareableContent& content, bool includeOwnWindows) {
    SourceCatalogSnapshot snapshot;
    const bool single = content.displays.size() == 1;
    int position = 0;
    for (const auto& display : content.displays) {
        ++position;
        snapshot.displays.push_back(DisplaySource{display.id,
                                                  single ? std::string("Main Display")
                                                         : "Display " + std::to_string(position),
                                                  static_cast<int>(display.frame.width),
                                                  static_cast<int>(display.frame.height), display.frame,
                                                  display.topPanelHeight});
    }

    std::map<std::string, std::size_t> applicationIndex;
    for (const auto& window : content.windows) {
        if (window.frame.width < kMinimumWindowWidth || window.frame.height < kMinimumWindowHeight) continue;
        const auto identifier = applicationIdentifier(window);
        // A window that names no application and no process has no owner to show or activate.
        if (!identifier && !window.processID) continue;
        if (window.ownedByThisProcess && !includeOwnWindows) continue;

        WindowSource entry;
        entry.id = window.id;
        entry.title = window.title;
        entry.appName = window.appName.empty() ? identifier.value_or("") : window.appName;
        entry.bundleIdentifier = identifier;
        entry.processID = window.processID;
        entry.width = static_cast<int>(window.frame.width);
        entry.height = static_cast<int>(window.frame.height);
        entry.frame = window.frame;
        entry.titleBarHeight = window.titleBarHeight;
        entry.wmInstance = window.wmInstance;
        entry.wmClass = window.wmClass;
        snapshot.windows.push_back(entry);

        if (window.ownedByThisProcess || snapshot.displays.empty()) continue;
        const std::string appID = identifier ? "app:" + *identifier : "pid:" + std::to_string(*window.processID);
        const auto found = applicationIndex.find(appID);
        if (found != applicationIndex.end()) {
            snapshot.applications[found->second].windowIDs.push_back(window.id);
            continue;
        }
        const auto& display = displayOf(snapshot.displays, window.frame);
        applicationIndex.emplace(appID, snapshot.applications.size());
        snapshot.applications.push_back(
            ApplicationSource{appID, entry.appName, identifier, display.id, display.frame, {window.id}});
    }
    return snapshot;
}

std::optional<RecordingSource> findSource(const SourceCatalogSnapshot& snapshot, std::string_view id) {
    for (const auto& display : snapshot.displays) {
        if (sourceID(display) == id) return display;
    }
    for (const auto& window : snapshot.windows) {
        if (sourceID(window) == id) return window;
    }
    for (const auto& application : snapshot.applications) {
        if (application.id == id) return application;
    }
    return std::nullopt;
}

std::optional<RecordingSource> defaultSource(const SourceCatalogSnapshot& snapshot, std::string_view lastUsedID,
                                             std::optional<RecordingSourceKind> preferredKind) {
    if (snapshot.displays.empty()) return std::nullopt;
    if (!preferredKind) {
        if (auto last = findSource(snapshot, lastUsedID)) return last;
        return snapshot.displays.front();
    }
    switch (*preferredKind) {
        case RecordingSourceKind::window:
            if (!snapshot.windows.empty()) return snapshot.windows.front();
            break;
        case RecordingSourceKind::application:
            if (!snapshot.applications.empty()) return snapshot.applications.front();
            break;
        default: break;
    }
    return snapshot.displays.front();
}

bool isWebBrowser(const WindowSource& window) {
    const std::initializer_list<std::string_view> browsers = {
        "firefox", "firefox-esr", "firefox-developer-edition", "chromium", "chromium-browser", "google-chrome",
        "brave-browser", "microsoft-edge", "vivaldi", "opera"};
    return matchesAny(window.wmClass, browsers) || matchesAny(window.wmInstance, browsers);
}

bool isDeviceSimulator(const WindowSource& window) {
    for (const auto& name : {window.wmClass, window.wmInstance, window.appName}) {
        const auto lower = toLowerAscii(name);
        if (lower.find("simulator") != std::string::npos || lower.find("emulator") != std::string::npos) return true;
    }
    return false;
}

RecordingOptions optionsFromDefaults(const RecordingDefaults& defaults) {
    RecordingOptions options;
    options.includeSystemAudio = defaults.systemAudio;
    options.includeWebcam = defaults.webcam;
    options.includeMicrophone = defaults.microphone;
    options.includeWindowChrome = defaults.windowChrome;
    options.activateSource = true;
    applyCursorMode(options, defaults.cursorMode, defaults);
    return options;
}

void applyCursorMode(RecordingOptions& options, RecordingCursorMode mode, const RecordingDefaults& defaults) {
    // The system pointer is burned in only in "system" mode; otherwise the editor draws its own from
    // the telemetry, in the style chosen for new projects.
    options.showSystemCursor = mode == RecordingCursorMode::system;
    options.captureCursorTelemetry = true;
    options.preferredCursorVisualStyle.reset();
    options.preferredCursorClickAnimationStyle.reset();
    if (mode != RecordingCursorMode::system) {
        options.preferredCursorVisualStyle =
            mode == RecordingCursorMode::touch ? std::optional<std::string>("touch") : defaults.cursorVisualStyle;
        options.preferredCursorClickAnimationStyle = defaults.cursorClickAnimationStyle;
    }
    options.preferredCursorIconSymbol = preferredCursorIconSymbol(mode);
}

}  // namespace orvane
