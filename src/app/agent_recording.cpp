#include "app/agent_recording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "media/media_probe.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

bool sameText(std::string_view a, std::string_view b) { return toLowerAscii(a) == toLowerAscii(b); }

std::optional<RecordingSource> byApplication(const SourceCatalogSnapshot& catalog, std::string_view name) {
    for (const auto& app : catalog.applications) {
        if ((app.bundleIdentifier && sameText(*app.bundleIdentifier, name)) || sameText(app.name, name) ||
            sameText(app.id, name)) {
            return app;
        }
    }
    return std::nullopt;
}

std::optional<RecordingSource> byWindowTitle(const SourceCatalogSnapshot& catalog, std::string_view title) {
    const auto lowered = toLowerAscii(title);
    for (const auto& window : catalog.windows) {
        if (!lowered.empty() && toLowerAscii(window.title).find(lowered) != std::string::npos) return window;
    }
    return std::nullopt;
}

std::string oneDecimal(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

}  // namespace

AgentActionPlan readAgentActionPlan(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        throw AgentPlanError("Couldn't read the action plan " + file.string() + ": no such file.");
    }
    const auto text = readFileContents(file, kSmallFileLimit);
    if (!text) throw AgentPlanError("Couldn't read the action plan " + file.string() + ".");
    return decodeAgentActionPlan(*text);
}

std::optional<RecordingSource> agentRecordingSource(const SourceCatalogSnapshot& catalog,
                                                    const AgentRecordingRequest& request) {
    if (request.windowID) {
        for (const auto& window : catalog.windows)
            if (window.id == *request.windowID) return window;
        return std::nullopt;
    }
    if (request.displayID) {
        for (const auto& display : catalog.displays)
            if (display.id == *request.displayID) return display;
        return std::nullopt;
    }
    for (const auto* name : {&request.appBundleID, &request.appName}) {
        if (*name) return byApplication(catalog, **name);
    }
    if (request.windowTitle) return byWindowTitle(catalog, *request.windowTitle);
    if (request.target) {
        // A target is whatever `orvane sources` printed, or a name.
        if (auto found = findSource(catalog, *request.target)) return found;
        if (auto found = byApplication(catalog, *request.target)) return found;
        return byWindowTitle(catalog, *request.target);
    }
    return defaultSource(catalog, {}, request.preferredKind);
}

RecordingOptions agentRecordingOptions(const AgentRecordingRequest& request, bool syntheticCursor,
                                       bool mobileTouchMode) {
    RecordingOptions options;
    options.includeWebcam = false;
    options.includeMicrophone = false;
    options.activateSource = false;
    options.includeWindowChrome = false;
    options.includeSystemAudio = request.includeSystemAudio;
    if (syntheticCursor) {
        // The plan is the cursor: the real one would be a second pointer in the picture.
        options.showSystemCursor = false;
        options.captureCursorTelemetry = false;
        options.preferredCursorVisualStyle = mobileTouchMode ? "touch" : "pointer";
        options.preferredCursorClickAnimationStyle = "pulse";
    }
    return options;
}

void writeAgentCursorTrack(const RecordingFolder& folder, RecordingMeta& meta,
                           const SyntheticCursorTimeline& timeline) {
    const double seconds = static_cast<double>(meta.durationMs) / 1000.0;
    const auto telemetry = cursorTelemetryFromTimeline(timeline, std::max(seconds, 0.0));
    try {
        writeFileAtomically(folder.cursorFile(), encodeCursorTelemetry(telemetry));
        auto updated = meta;
        updated.hasCursor = !telemetry.points.empty();
        writeRecordingMeta(folder, updated);
        meta = updated;
    } catch (const std::exception& e) {
        throw AgentRecordingError(std::string("Agent cursor track could not be saved: ") + e.what());
    }
}

std::vector<AudioClip> agentNarrationClips(const std::vector<fs::path>& files, const SyntheticCursorTimeline& timeline,
                                           double captureSeconds) {
    std::vector<AudioClip> clips;
    double nextStart = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto probe = probeMedia(files[i]);
        const auto duration = probe ? playableDuration(*probe) : std::nullopt;
        if (!probe || !duration || !probe->hasAudio) {
            const std::string reason = probe ? "it holds no audio" : std::string(describe(*probe.failure()));
            throw AgentRecordingError("Generated voiceover could not be loaded: " + files[i].string() + " (" + reason +
                                      ")");
        }
        AudioClip clip;
        clip.startTime = i < timeline.narration.size() ? timeline.narration[i].time : nextStart;
        clip.duration = *duration;
        clip.path = fs::absolute(files[i]);
        clip.label = files[i].stem().string();
        if (i < timeline.narration.size()) clip.script = timeline.narration[i].text;
        // Stretching the picture to fit the voice would leave a frozen tail; better to say so.
        if (clip.startTime + clip.duration > captureSeconds + 0.05) {
            throw AgentRecordingError("Generated voiceover is longer than the captured browser video (" +
                                      oneDecimal(clip.startTime + clip.duration) + "s audio for " +
                                      oneDecimal(captureSeconds) +
                                      "s capture). Rerun with a longer --duration or a shorter script; Orvane will "
                                      "not stretch the source clip into a dead tail.");
        }
        nextStart = clip.startTime + clip.duration;
        clips.push_back(std::move(clip));
    }
    return clips;
}

AgentPlanPerformer::AgentPlanPerformer(Executor& loop, InputSynthesizer& input, SyntheticCursorTimeline timeline,
                                       Rect area)
    : loop_(loop), input_(input), timeline_(std::move(timeline)), area_(area) {}

AgentPlanPerformer::~AgentPlanPerformer() { stop(); }

PointerLocation AgentPlanPerformer::pixelFor(const Rect& area, double x, double y) {
    const double px = area.x + std::clamp(x, 0.0, 1.0) * area.width;
    const double py = area.y + std::clamp(y, 0.0, 1.0) * area.height;
    // The last pixel row and column still belong to the area; one past them does not.
    return {std::clamp(std::floor(px), area.x, area.x + std::max(area.width - 1, 0.0)),
            std::clamp(std::floor(py), area.y, area.y + std::max(area.height - 1, 0.0))};
}

void AgentPlanPerformer::start() {
    startedAt_ = loop_.now();
    using Seconds = std::chrono::duration<double>;
    auto at = [this](double seconds, Task task) {
        timers_.push_back(
            loop_.postAfter(std::chrono::duration_cast<Duration>(Seconds(std::max(seconds, 0.0))), std::move(task)));
    };
    auto press = [this, at](double start, double end, InputSynthesizer::Button button) {
        at(start, [this, button] {
            tick();
            setButton(button, true);
        });
        at(end, [this, button] {
            tick();
            setButton(button, false);
        });
    };
    for (const auto& action : timeline_.actions) {
        if (action.holdSeconds > 0) {
            if (action.action == "double_click") {
                press(action.time, action.time + 0.06, InputSynthesizer::Button::left);
                press(action.time + 0.14, action.time + 0.2, InputSynthesizer::Button::left);
            } else {
                press(
                    action.time, action.time + action.holdSeconds,
                    action.action == "right_click" ? InputSynthesizer::Button::right : InputSynthesizer::Button::left);
            }
        }
        if (action.text && !action.text->empty()) {
            at(action.time, [this, text = *action.text] { input_.typeText(text); });
        }
    }
    motion_ = loop_.postRepeating(Duration::zero(), std::chrono::milliseconds(16), [this] { tick(); });
}

void AgentPlanPerformer::tick() {
    const double elapsed = std::chrono::duration<double>(loop_.now() - startedAt_).count();
    if (const auto point = timeline_.positionAt(elapsed)) input_.moveTo(pixelFor(area_, point->x, point->y));
}

void AgentPlanPerformer::stop() {
    motion_.cancel();
    for (auto& timer : timers_) timer.cancel();
    timers_.clear();
    // A button left down would keep the window under it grabbed after the recording.
    setButton(InputSynthesizer::Button::left, false);
    setButton(InputSynthesizer::Button::right, false);
}

void AgentPlanPerformer::setButton(InputSynthesizer::Button button, bool down) {
    auto& state = down_[static_cast<int>(button)];
    if (state == down) return;
    state = down;
    input_.setButton(button, down);
}

}  // namespace orvane
