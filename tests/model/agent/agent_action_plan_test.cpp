#include "model/agent_action_plan.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

std::string errorOf(std::string_view json) {
    try {
        validateAgentActionPlan(decodeAgentActionPlan(json));
    } catch (const AgentPlanError& e) {
        return e.what();
    }
    return {};
}

TEST(AgentActionPlanTest, ReadsEverySpellingFirstMatchWinningAndTheWrappedForm) {
    const auto plan = decodeAgentActionPlan(R"({
        "control_mode": "perform", "controlMode": "ignored", "actionStartDelay": "0.5",
        "steps": [
          {"executed_at": 1, "post_wait": 2, "drag_seconds": 0.4, "move_seconds": 0.3,
           "x": 0.1, "y": 0.2, "to_x": 0.3, "y2": 0.4, "browser_text_any": ["  ", "Buy"], "text": "hi"},
          {"at": 3, "afterWait": 1, "x2": 0.9, "end_y": 0.8, "endX": 0.1, "aria": " \n "},
          {"time": 4, "at": 9, "wait": -1}
        ]})");
    EXPECT_EQ(plan.controlMode, "perform");
    EXPECT_EQ(plan.actionStartDelay, 0.5);
    ASSERT_EQ(plan.steps.size(), 3u);
    const auto& a = plan.steps[0];
    EXPECT_EQ(a.time, 1);
    EXPECT_EQ(a.postWait, 2);
    EXPECT_EQ(a.duration, 0.4);
    EXPECT_EQ(a.moveSeconds, 0.3);
    EXPECT_EQ(a.endX, 0.3);
    EXPECT_EQ(a.endY, 0.4);
    EXPECT_EQ(a.text, "hi");
    EXPECT_TRUE(a.isBrowserStep());
    EXPECT_EQ(plan.steps[1].time, 3);
    EXPECT_EQ(plan.steps[1].postWait, 1);
    EXPECT_EQ(plan.steps[1].endX, 0.1) << "endX comes before x2";
    EXPECT_EQ(plan.steps[1].endY, 0.8);
    EXPECT_FALSE(plan.steps[1].isBrowserStep()) << "whitespace is no selector";
    EXPECT_EQ(plan.steps[2].time, 4) << "time comes before at";
    EXPECT_TRUE(planPerformsActions(plan));

    const auto wrapped =
        decodeAgentActionPlan(R"({"controlMode": "watch", "action_plan": {"steps": [{"x": 0.5, "y": 0.5}]}})");
    EXPECT_EQ(wrapped.controlMode, "watch");
    ASSERT_EQ(wrapped.steps.size(), 1u);
    EXPECT_FALSE(planPerformsActions(wrapped));
}

TEST(AgentActionPlanTest, RejectsWhatCannotBeRecordedWithAClearMessage) {
    EXPECT_EQ(errorOf("{\"steps\": [").rfind("The action plan is not valid JSON: ", 0), 0u);
    EXPECT_EQ(errorOf("[1, 2]"), "The action plan must be a JSON object with a \"steps\" list.");
    EXPECT_EQ(errorOf(R"({"steps": []})"), "The action plan has no steps.");
    EXPECT_EQ(errorOf(R"({"controlMode": "watch"})"), "The action plan has no steps.");
    EXPECT_EQ(errorOf(R"({"steps": [{"x": 0.5, "y": 0.5}, {"x": 1.5, "y": 0.2}]})"),
              "Step 2 of the action plan has x = 1.5, outside 0...1 of the recorded area.");
    EXPECT_EQ(errorOf(R"({"steps": [{"x": 0.5, "y": -0.1}]})"),
              "Step 1 of the action plan has y = -0.1, outside 0...1 of the recorded area.");
    EXPECT_EQ(errorOf(R"({"steps": [{"x": "left", "y": 0.2}]})"), "Step 1 of the action plan: \"x\" must be a number.");
    EXPECT_EQ(errorOf(R"({"steps": [{"x": 0.5}]})"), "Step 1 of the action plan has only one of x and y.");
    EXPECT_EQ(errorOf(R"({"steps": "click"})"), "The action plan's \"steps\" must be a list.");
    EXPECT_EQ(errorOf(R"({"steps": [{"x": 0.5, "y": 0.5, "label": "ok"}]})"), "");
}

TEST(AgentActionPlanTest, TimelineFollowsTheClockWaitsAndExplicitTimes) {
    const auto timeline = buildTimeline(decodeAgentActionPlan(R"({"actionStartDelay": 1, "steps": [
        {"x": 0.1, "y": 0.1, "wait": -3, "postWait": 0.5},
        {"action": " Double_Click ", "x": 0.2, "y": 0.2, "wait": 1},
        {"action": "move", "x": 0.3, "y": 0.3, "time": 0.25},
        {"action": "right_click", "x": 0.4, "y": 0.4, "wait": 1, "moveSeconds": 0.5},
        {"action": "scroll"}
    ]})"));
    // No action means a click; a negative wait counts as 0; the running clock ignores explicit times.
    const std::vector<SyntheticCursorKeyframe> expectedKeys{
        {1.0, 0.1, 0.1}, {1.25, 0.3, 0.3}, {2.5, 0.2, 0.2}, {3.0, 0.2, 0.2}, {3.5, 0.4, 0.4}};
    EXPECT_EQ(timeline.keyframes, expectedKeys);
    const std::vector<SyntheticCursorPressInterval> expectedPresses{{1.0, 1.14}, {2.5, 2.78}, {3.5, 3.64}};
    ASSERT_EQ(timeline.presses.size(), expectedPresses.size());
    for (std::size_t i = 0; i < expectedPresses.size(); ++i) {
        EXPECT_NEAR(timeline.presses[i].start, expectedPresses[i].start, 1e-9);
        EXPECT_NEAR(timeline.presses[i].end, expectedPresses[i].end, 1e-9);
    }
    ASSERT_EQ(timeline.actions.size(), 5u);
    EXPECT_EQ(timeline.actions[1].action, "double_click");
    EXPECT_DOUBLE_EQ(timeline.actions[1].holdSeconds, 0.28);
    EXPECT_EQ(timeline.actions[4].action, "scroll");
    EXPECT_FALSE(timeline.actions[4].hasPoint);
}

TEST(AgentActionPlanTest, DragsClampTheirLengthAndEndPoint) {
    auto dragEnd = [](std::string_view duration) {
        const auto t = buildTimeline(decodeAgentActionPlan(
            std::string(R"({"steps": [{"action": "swipe", "x": 0.2, "y": 0.2, "endX": 1.7, "endY": 0.6)") +
            std::string(duration) + "}]}"));
        EXPECT_EQ(t.keyframes.back().x, 1.0);
        EXPECT_EQ(t.presses.size(), 1u);
        return t.presses.front().end;
    };
    EXPECT_DOUBLE_EQ(dragEnd(R"(, "duration": 5)"), 2.5);
    EXPECT_DOUBLE_EQ(dragEnd(R"(, "duration": 0.05)"), 0.15);
    EXPECT_DOUBLE_EQ(dragEnd(""), 0.7);
    EXPECT_DOUBLE_EQ(dragEnd(R"(, "duration": 1.2)"), 1.2);
    // Without an end point a drag is neither a click nor a press: only its point is a keyframe.
    const auto open = buildTimeline(decodeAgentActionPlan(R"({"steps": [{"action": "drag", "x": 0.2, "y": 0.3}]})"));
    EXPECT_EQ(open.keyframes.size(), 1u);
    EXPECT_TRUE(open.presses.empty());
}

TEST(AgentActionPlanTest, PositionIsEasedBetweenKeyframesAndHeldOutside) {
    SyntheticCursorTimeline t;
    EXPECT_FALSE(t.positionAt(1));
    t.keyframes = {{1, 0, 0}, {3, 1, 0.5}, {3, 0.2, 0.2}};
    t.presses = {{2, 2.1}};
    EXPECT_EQ(t.positionAt(0)->x, 0);
    EXPECT_DOUBLE_EQ(t.positionAt(1.5)->x, 0.15625);  // u = 0.25 eased to 0.15625
    EXPECT_DOUBLE_EQ(t.positionAt(2)->y, 0.25);
    EXPECT_EQ(t.positionAt(10)->x, 0.2) << "the last keyframe wins";
    EXPECT_TRUE(t.pressedAt(2.05));
    EXPECT_FALSE(t.pressedAt(2.2));
}

TEST(AgentActionPlanTest, TelemetrySamplesThePlanAndKeepsShortPresses) {
    SyntheticCursorTimeline t;
    t.keyframes = {{0, 0.5, 0.5}, {1, 1.0, 0.0}};
    t.presses = {{0.501, 0.502}};
    const auto telemetry = cursorTelemetryFromTimeline(t, 1.0, 60);
    ASSERT_EQ(telemetry.points.size(), 61u);
    EXPECT_EQ(telemetry.points[30].t, 500);
    EXPECT_EQ(telemetry.points[60].t, 1000);
    EXPECT_DOUBLE_EQ(telemetry.points[60].cx, 1.0);
    int pressed = 0;
    for (const auto& p : telemetry.points) pressed += p.pressed;
    EXPECT_EQ(pressed, 1) << "a press between samples shows in exactly the next one";
    EXPECT_TRUE(telemetry.points[31].pressed);
    EXPECT_TRUE(cursorTelemetryFromTimeline({}, 1.0).points.empty());
}

}  // namespace
}  // namespace orvane
