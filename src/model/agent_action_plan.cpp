#include "model/agent_action_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include <nlohmann/json.hpp>

namespace orvane {

using Json = nlohmann::json;

namespace {

constexpr double kClickHold = 0.14;
constexpr double kDoubleClickHold = 0.28;
constexpr double kDefaultDrag = 0.7;
constexpr double kShortestDrag = 0.15;
constexpr double kLongestDrag = 2.5;

std::string trimmed(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kSpace);
    return std::string(text.substr(first, last - first + 1));
}

std::string lowerAscii(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Reads one object's fields under their accepted spellings; the first spelling present wins.
class LooseFields {
public:
    LooseFields(const Json& object, std::string where) : object_(object), where_(std::move(where)) {}

    std::optional<double> number(std::initializer_list<std::string_view> keys) const {
        const auto [key, value] = find(keys);
        if (!value) return std::nullopt;
        if (value->is_number()) return value->get<double>();
        if (value->is_string()) {
            // Agents sometimes quote their numbers; anything else is a mistake worth naming.
            const auto text = trimmed(value->get_ref<const std::string&>());
            char* end = nullptr;
            const double parsed = std::strtod(text.c_str(), &end);
            if (!text.empty() && end == text.c_str() + text.size() && std::isfinite(parsed)) return parsed;
        }
        throw AgentPlanError(where_ + ": \"" + std::string(key) + "\" must be a number.");
    }

    std::optional<std::string> text(std::initializer_list<std::string_view> keys) const {
        const auto [key, value] = find(keys);
        if (!value) return std::nullopt;
        if (value->is_string()) return value->get<std::string>();
        if (value->is_number()) return value->dump();
        throw AgentPlanError(where_ + ": \"" + std::string(key) + "\" must be text.");
    }

    std::optional<std::vector<std::string>> texts(std::initializer_list<std::string_view> keys) const {
        const auto [key, value] = find(keys);
        if (!value) return std::nullopt;
        if (value->is_string()) return std::vector<std::string>{value->get<std::string>()};
        std::vector<std::string> result;
        if (value->is_array()) {
            for (const auto& item : *value) {
                if (!item.is_string()) {
                    throw AgentPlanError(where_ + ": \"" + std::string(key) + "\" must be a list of texts.");
                }
                result.push_back(item.get<std::string>());
            }
            return result;
        }
        throw AgentPlanError(where_ + ": \"" + std::string(key) + "\" must be a list of texts.");
    }

private:
    std::pair<std::string_view, const Json*> find(std::initializer_list<std::string_view> keys) const {
        for (const auto key : keys) {
            const auto found = object_.find(key);
            if (found != object_.end() && !found->is_null()) return {key, &*found};
        }
        return {{}, nullptr};
    }

    const Json& object_;
    std::string where_;
};

AgentActionStep decodeStep(const Json& json, std::size_t index) {
    const std::string where = "Step " + std::to_string(index + 1) + " of the action plan";
    if (!json.is_object()) throw AgentPlanError(where + " is not an object.");
    const LooseFields f(json, where);
    AgentActionStep step;
    step.time = f.number({"time", "executed_at", "at"});
    step.wait = f.number({"wait"});
    step.postWait = f.number({"post_wait", "postWait", "after_wait", "afterWait"});
    step.action = f.text({"action"});
    step.duration = f.number({"duration", "drag_seconds"});
    step.moveSeconds = f.number({"move_seconds", "moveSeconds"});
    step.x = f.number({"x"});
    step.y = f.number({"y"});
    step.endX = f.number({"end_x", "endX", "to_x", "x2"});
    step.endY = f.number({"end_y", "endY", "to_y", "y2"});
    step.label = f.text({"label"});
    step.target = f.text({"target"});
    step.match = f.text({"match"});
    step.title = f.text({"title"});
    step.narration = f.text({"narration"});
    step.browserSelector = f.text({"browser_selector", "browserSelector"});
    step.selector = f.text({"selector"});
    step.browserText = f.text({"browser_text", "browserText"});
    step.browserTextAny = f.texts({"browser_text_any", "browserTextAny"});
    step.browserHrefContains = f.text({"browser_href_contains", "browserHrefContains"});
    step.browserHrefContainsAny = f.texts({"browser_href_contains_any", "browserHrefContainsAny"});
    step.hrefContains = f.text({"href_contains", "hrefContains"});
    step.aria = f.text({"aria"});
    step.role = f.text({"role"});
    step.text = f.text({"text"});
    return step;
}

template <typename Plan>
Plan decodePlanObject(const Json& json) {
    const LooseFields f(json, "The action plan");
    Plan plan;
    plan.controlMode = f.text({"control_mode", "controlMode"});
    plan.actionStartDelay = f.number({"action_start_delay", "actionStartDelay"});
    const auto steps = json.find("steps");
    if (steps != json.end() && !steps->is_null()) {
        if (!steps->is_array()) throw AgentPlanError("The action plan's \"steps\" must be a list.");
        for (std::size_t i = 0; i < steps->size(); ++i) plan.steps.push_back(decodeStep((*steps)[i], i));
    }
    return plan;
}

const Json* wrappedPlan(const Json& json) {
    if (json.contains("steps")) return nullptr;
    for (const char* key : {"plan", "actionPlan", "action_plan"}) {
        const auto found = json.find(key);
        if (found != json.end() && found->is_object()) return &*found;
    }
    return nullptr;
}

bool hasText(const std::optional<std::string>& value) { return value && !trimmed(*value).empty(); }
bool hasText(const std::optional<std::vector<std::string>>& values) {
    return values && std::any_of(values->begin(), values->end(), [](const auto& v) { return !trimmed(v).empty(); });
}

double nonNegative(std::optional<double> value) { return std::max(0.0, value.value_or(0.0)); }

bool isDragLike(const std::string& action) { return action == "drag" || action == "swipe" || action == "underline"; }
bool isClickLike(const std::string& action) {
    return action == "click" || action == "double_click" || action == "right_click" || action == "press" ||
           action == "navigate_click" || action == "navigation_click";
}

}  // namespace

bool AgentActionStep::isBrowserStep() const {
    return hasText(browserSelector) || hasText(selector) || hasText(browserText) || hasText(browserTextAny) ||
           hasText(browserHrefContains) || hasText(browserHrefContainsAny) || hasText(hrefContains) || hasText(aria) ||
           hasText(role);
}

AgentActionPlan decodeAgentActionPlan(std::string_view text) {
    Json json;
    try {
        json = Json::parse(text);
    } catch (const Json::parse_error& e) {
        throw AgentPlanError(std::string("The action plan is not valid JSON: ") + e.what());
    }
    if (!json.is_object()) throw AgentPlanError("The action plan must be a JSON object with a \"steps\" list.");
    if (const Json* inner = wrappedPlan(json)) {
        const auto wrapped = decodePlanObject<AgentActionPlan::Wrapped>(*inner);
        const auto outer = decodePlanObject<AgentActionPlan::Wrapped>(json);
        // Settings beside the wrapper apply when the plan itself leaves them out.
        return AgentActionPlan{wrapped.controlMode ? wrapped.controlMode : outer.controlMode,
                               wrapped.actionStartDelay ? wrapped.actionStartDelay : outer.actionStartDelay,
                               wrapped.steps};
    }
    return decodePlanObject<AgentActionPlan>(json);
}

void validateAgentActionPlan(const AgentActionPlan& plan) {
    if (plan.steps.empty()) throw AgentPlanError("The action plan has no steps.");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const auto& step = plan.steps[i];
        const std::pair<const char*, std::optional<double>> coordinates[] = {
            {"x", step.x}, {"y", step.y}, {"endX", step.endX}, {"endY", step.endY}};
        for (const auto& [name, value] : coordinates) {
            if (value && (!std::isfinite(*value) || *value < 0 || *value > 1)) {
                char number[32];
                std::snprintf(number, sizeof number, "%g", *value);
                throw AgentPlanError("Step " + std::to_string(i + 1) + " of the action plan has " + name + " = " +
                                     number + ", outside 0...1 of the recorded area.");
            }
        }
        if (step.x.has_value() != step.y.has_value()) {
            throw AgentPlanError("Step " + std::to_string(i + 1) + " of the action plan has only one of x and y.");
        }
    }
}

bool planPerformsActions(const AgentActionPlan& plan) {
    if (!plan.controlMode) return false;
    const auto mode = lowerAscii(trimmed(*plan.controlMode));
    return mode == "perform" || mode == "control" || mode == "real";
}

SyntheticCursorTimeline buildTimeline(const AgentActionPlan& plan) {
    SyntheticCursorTimeline timeline;
    const double startDelay = nonNegative(plan.actionStartDelay);
    double clock = startDelay;
    auto addKeyframe = [&timeline](double t, double x, double y) { timeline.keyframes.push_back({t, x, y}); };

    for (const auto& step : plan.steps) {
        clock += nonNegative(step.wait);
        const double t = step.time ? startDelay + std::max(0.0, *step.time) : clock;
        std::string action = step.action ? lowerAscii(trimmed(*step.action)) : std::string();
        if (action.empty()) action = "click";
        const bool hasPoint = step.x && step.y;

        TimedAgentAction timed;
        timed.time = t;
        timed.action = action;
        timed.label = step.label.value_or("");
        timed.hasPoint = hasPoint;
        if (hasPoint) {
            timed.x = *step.x;
            timed.y = *step.y;
        }

        if (isDragLike(action) && hasPoint && step.endX && step.endY) {
            double d = kDefaultDrag;
            if (step.duration) d = std::clamp(*step.duration, kShortestDrag, kLongestDrag);
            const double endX = std::clamp(*step.endX, 0.0, 1.0);
            const double endY = std::clamp(*step.endY, 0.0, 1.0);
            addKeyframe(t, *step.x, *step.y);
            timeline.presses.push_back({t, t + d});
            addKeyframe(t + d, endX, endY);
            timed.endX = endX;
            timed.endY = endY;
            timed.holdSeconds = d;
        } else if (isClickLike(action)) {
            if (hasPoint) {
                // The pointer rests where it was until it has to set off to arrive on time.
                if (step.moveSeconds && *step.moveSeconds > 0) {
                    const double departure = t - *step.moveSeconds;
                    const SyntheticCursorKeyframe* resting = nullptr;
                    for (const auto& k : timeline.keyframes) {
                        if (k.time < departure && (!resting || k.time >= resting->time)) resting = &k;
                    }
                    if (resting) addKeyframe(departure, resting->x, resting->y);
                }
                addKeyframe(t, *step.x, *step.y);
            }
            const double hold = action == "double_click" ? kDoubleClickHold : kClickHold;
            timeline.presses.push_back({t, t + hold});
            timed.holdSeconds = hold;
        } else if (hasPoint) {
            addKeyframe(t, *step.x, *step.y);
        }
        if (action == "type" || action == "typing") timed.text = step.text ? step.text : step.label;
        if (hasText(step.narration)) timeline.narration.push_back({t, trimmed(*step.narration)});
        timeline.actions.push_back(std::move(timed));
        clock += nonNegative(step.postWait);
    }
    // An explicit time may point back before earlier steps; evaluation walks keyframes in time order.
    std::stable_sort(timeline.keyframes.begin(), timeline.keyframes.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    return timeline;
}

std::optional<SyntheticCursorKeyframe> SyntheticCursorTimeline::positionAt(double s) const {
    if (keyframes.empty()) return std::nullopt;
    if (s <= keyframes.front().time) return SyntheticCursorKeyframe{s, keyframes.front().x, keyframes.front().y};
    if (s >= keyframes.back().time) return SyntheticCursorKeyframe{s, keyframes.back().x, keyframes.back().y};
    const auto next = std::upper_bound(keyframes.begin(), keyframes.end(), s,
                                       [](double value, const auto& k) { return value < k.time; });
    const auto& k1 = *next;
    const auto& k0 = *(next - 1);
    double u = std::clamp((s - k0.time) / std::max(k1.time - k0.time, 0.001), 0.0, 1.0);
    u = u * u * (3 - 2 * u);
    return SyntheticCursorKeyframe{s, k0.x + (k1.x - k0.x) * u, k0.y + (k1.y - k0.y) * u};
}

bool SyntheticCursorTimeline::pressedAt(double s) const {
    return std::any_of(presses.begin(), presses.end(), [s](const auto& p) { return s >= p.start && s <= p.end; });
}

double SyntheticCursorTimeline::endTime() const {
    double end = 0;
    for (const auto& k : keyframes) end = std::max(end, k.time);
    for (const auto& p : presses) end = std::max(end, p.end);
    return end;
}

CursorTelemetry cursorTelemetryFromTimeline(const SyntheticCursorTimeline& timeline, double durationSeconds,
                                            int sampleHz) {
    CursorTelemetry telemetry;
    telemetry.sampleHz = sampleHz;
    if (timeline.keyframes.empty() || sampleHz <= 0 || !(durationSeconds >= 0)) return telemetry;
    const auto count = static_cast<std::int64_t>(std::floor(durationSeconds * sampleHz)) + 1;
    double previous = -1;
    for (std::int64_t i = 0; i < count; ++i) {
        const double s = static_cast<double>(i) / sampleHz;
        const auto point = timeline.positionAt(s);
        bool pressed = timeline.pressedAt(s);
        // As the live sampler does: a press that began and ended between two samples still shows.
        for (const auto& press : timeline.presses) pressed = pressed || (press.start > previous && press.start <= s);
        telemetry.points.push_back({static_cast<std::int64_t>(std::floor(s * 1000.0 + 1e-6)),
                                    std::clamp(point->x, 0.0, 1.0), std::clamp(point->y, 0.0, 1.0), pressed});
        previous = s;
    }
    return telemetry;
}

}  // namespace orvane
