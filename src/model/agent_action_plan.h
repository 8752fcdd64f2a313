#pragma once

// An agent's action plan: timed pointer moves, clicks, drags, typing and narration over the
// recorded area, read loosely from the JSON an agent writes, and the cursor timeline it becomes.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/cursor_telemetry.h"

namespace orvane {

// A plan that cannot be used; what() is the text shown.
class AgentPlanError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One step; every field is optional. Times in seconds, points as fractions 0...1 of the recorded
// area with the origin top left.
struct AgentActionStep {
    std::optional<double> time;
    std::optional<double> wait;
    std::optional<double> postWait;
    std::optional<double> duration;
    std::optional<double> moveSeconds;
    std::optional<std::string> action;
    std::optional<double> x;
    std::optional<double> y;
    std::optional<double> endX;
    std::optional<double> endY;
    std::optional<std::string> label;
    std::optional<std::string> target;
    std::optional<std::string> match;
    std::optional<std::string> title;
    std::optional<std::string> narration;
    std::optional<std::string> browserSelector;
    std::optional<std::string> selector;
    std::optional<std::string> browserText;
    std::optional<std::vector<std::string>> browserTextAny;
    std::optional<std::string> browserHrefContains;
    std::optional<std::vector<std::string>> browserHrefContainsAny;
    std::optional<std::string> hrefContains;
    std::optional<std::string> aria;
    std::optional<std::string> role;
    // What a "type" step types (our addition; without it the step's `label` is typed).
    std::optional<std::string> text;

    // A step aimed at a page element rather than a point.
    bool isBrowserStep() const;

    bool operator==(const AgentActionStep&) const = default;
};

struct AgentActionPlan {
    std::optional<std::string> controlMode;
    std::optional<double> actionStartDelay;
    std::vector<AgentActionStep> steps;

    // The plan when it sits inside an enclosing object under "plan", "actionPlan" or "action_plan".
    struct Wrapped {
        std::optional<std::string> controlMode;
        std::optional<double> actionStartDelay;
        std::vector<AgentActionStep> steps;
    };

    bool operator==(const AgentActionPlan&) const = default;
};

// Decodes a plan object, or one wrapped in an enclosing object. Each field is read under any of
// its accepted spellings, the first present one winning; numbers may also be numeric strings.
// Throws AgentPlanError for text that is not JSON or not an object, and for a value of the wrong
// kind (text where a number belongs).
AgentActionPlan decodeAgentActionPlan(std::string_view json);

// What a recording needs of a plan: at least one step, and every x/y (and end point) a finite
// fraction 0...1. Throws AgentPlanError naming the first step that breaks a rule.
void validateAgentActionPlan(const AgentActionPlan& plan);

// Whether the plan asks for the pointer to be driven for real ("perform", "control", "real").
bool planPerformsActions(const AgentActionPlan& plan);

// One scheduled action, in plan order. A drag carries its end point and motion length, a click
// how long the button is held, typing its text.
struct TimedAgentAction {
    double time = 0;
    double x = 0;
    double y = 0;
    std::string label;
    std::string action;
    bool hasPoint = false;
    std::optional<double> endX;
    std::optional<double> endY;
    double holdSeconds = 0;
    std::optional<std::string> text;
};

struct SyntheticCursorKeyframe {
    double time = 0;
    double x = 0;
    double y = 0;
    bool operator==(const SyntheticCursorKeyframe&) const = default;
};

struct SyntheticCursorPressInterval {
    double start = 0;
    double end = 0;
    bool operator==(const SyntheticCursorPressInterval&) const = default;
};

struct NarrationCue {
    double time = 0;
    std::string text;
};

// The pointer a plan describes: keyframes in time order and the intervals the button is down.
struct SyntheticCursorTimeline {
    std::vector<SyntheticCursorKeyframe> keyframes;
    std::vector<SyntheticCursorPressInterval> presses;
    std::vector<TimedAgentAction> actions;
    std::vector<NarrationCue> narration;

    // The eased point at `seconds`; nothing without keyframes.
    std::optional<SyntheticCursorKeyframe> positionAt(double seconds) const;
    bool pressedAt(double seconds) const;
    // The time the last keyframe or press ends.
    double endTime() const;
};

SyntheticCursorTimeline buildTimeline(const AgentActionPlan& plan);

// cursor.json made from the timeline: one sample every 1/sampleHz s over [0, durationSeconds].
// A press shorter than one interval still reads pressed in the sample after it began.
CursorTelemetry cursorTelemetryFromTimeline(const SyntheticCursorTimeline& timeline, double durationSeconds,
                                            int sampleHz = 60);

}  // namespace orvane
