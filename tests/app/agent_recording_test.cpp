#include "app/agent_recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "base/manual_executor.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Records what would have reached the X server, with the virtual time it happened at.
class RecordingInput final : public InputSynthesizer {
public:
    explicit RecordingInput(const Clock& clock) : clock_(clock) {}
    struct Event {
        double time;
        std::string what;
        PointerLocation at;
    };
    void moveTo(PointerLocation location) override { last_ = location; }
    void setButton(Button button, bool down) override {
        events.push_back(
            {seconds(), std::string(down ? "down" : "up") + std::to_string(static_cast<int>(button)), last_});
    }
    void typeText(std::string_view text) override { events.push_back({seconds(), "type " + std::string(text), last_}); }

    std::vector<Event> events;

private:
    double seconds() const { return std::chrono::duration<double>(clock_.now() - start_).count(); }
    const Clock& clock_;
    SteadyTime start_ = clock_.now();
    PointerLocation last_{-1, -1};
};

void writeTone(const fs::path& file, double seconds) {
    const int rate = 8000;
    const auto samples = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream out(file, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + samples * 2);
    out << "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    out << "data";
    u32(samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i) u16(static_cast<std::uint16_t>(std::lround(2000 * std::sin(i * 0.3))));
}

TEST(AgentRecordingTest, SourceIsChosenByTheMostSpecificIdentifier) {
    SourceCatalogSnapshot catalog;
    catalog.displays = {DisplaySource{5, "Main Display", 1280, 720, {0, 0, 1280, 720}, 0},
                        DisplaySource{9, "Display 2", 800, 600, {1280, 0, 800, 600}, 0}};
    WindowSource window;
    window.id = 77;
    window.title = "Checkout - Shop";
    window.appName = "Shop";
    catalog.windows = {window};
    ApplicationSource app;
    app.id = "app:shop";
    app.name = "Shop";
    app.bundleIdentifier = "shop";
    catalog.applications = {app};

    auto chosen = [&](auto change) {
        AgentRecordingRequest request;
        change(request);
        const auto source = agentRecordingSource(catalog, request);
        return source ? sourceID(*source) : std::string("none");
    };
    EXPECT_EQ(chosen([](auto&) {}), "display:5");
    EXPECT_EQ(chosen([](auto& r) {
                  r.windowID = 77;
                  r.displayID = 9;
              }),
              sourceID(RecordingSource(window)));
    EXPECT_EQ(chosen([](auto& r) { r.windowID = 78; }), "none") << "a named window that is gone is no match";
    EXPECT_EQ(chosen([](auto& r) { r.displayID = 9; }), "display:9");
    EXPECT_EQ(chosen([](auto& r) { r.appName = "SHOP"; }), "app:shop");
    EXPECT_EQ(chosen([](auto& r) { r.appName = "Mail"; }), "none");
    EXPECT_EQ(chosen([](auto& r) { r.windowTitle = "checkout"; }), sourceID(RecordingSource(window)));
    EXPECT_EQ(chosen([](auto& r) { r.target = "display:9"; }), "display:9");
    EXPECT_EQ(chosen([](auto& r) { r.target = "shop"; }), "app:shop");
}

TEST(AgentRecordingTest, OptionsHideTheRealCursorOnlyForASyntheticOne) {
    AgentRecordingRequest request;
    request.includeSystemAudio = true;
    const auto synthetic = agentRecordingOptions(request, true, true);
    EXPECT_FALSE(synthetic.showSystemCursor);
    EXPECT_FALSE(synthetic.captureCursorTelemetry);
    EXPECT_FALSE(synthetic.activateSource || synthetic.includeWebcam || synthetic.includeMicrophone);
    EXPECT_TRUE(synthetic.includeSystemAudio);
    EXPECT_EQ(synthetic.preferredCursorVisualStyle, "touch");
    EXPECT_EQ(synthetic.preferredCursorClickAnimationStyle, "pulse");
    EXPECT_EQ(agentRecordingOptions(request, true, false).preferredCursorVisualStyle, "pointer");
    const auto plain = agentRecordingOptions({}, false, true);
    EXPECT_TRUE(plain.showSystemCursor && plain.captureCursorTelemetry);
    EXPECT_FALSE(plain.preferredCursorVisualStyle || plain.includeSystemAudio);
}

TEST(AgentRecordingTest, PerformerPressesAtThePlansTimesAndStaysInsideTheArea) {
    ManualExecutor loop;
    RecordingInput input(loop);
    const auto timeline = buildTimeline(decodeAgentActionPlan(R"({"steps": [
        {"x": 0, "y": 0, "time": 0.5},
        {"action": "double_click", "x": 1, "y": 1, "time": 1},
        {"action": "right_click", "x": 0.5, "y": 0.5, "time": 2},
        {"action": "type", "text": "héllo", "time": 2.5},
        {"action": "drag", "x": 0.1, "y": 0.5, "endX": 0.9, "endY": 0.5, "time": 3, "duration": 1}]})"));
    const Rect area{100, 50, 200, 100};
    AgentPlanPerformer performer(loop, input, timeline, area);
    performer.start();
    for (int i = 0; i < 500; ++i) loop.advance(10ms);
    performer.stop();

    std::vector<std::string> order;
    for (const auto& e : input.events) {
        order.push_back(e.what);
        EXPECT_GE(e.at.x, 100);
        EXPECT_LT(e.at.x, 300);
        EXPECT_GE(e.at.y, 50);
        EXPECT_LT(e.at.y, 150);
    }
    const std::vector<std::string> expected{"down1", "up1", "down1",      "up1",   "down1", "up1",
                                            "down3", "up3", "type héllo", "down1", "up1"};
    ASSERT_EQ(order, expected);
    EXPECT_NEAR(input.events[0].time, 0.5, 0.011);
    EXPECT_NEAR(input.events[1].time, 0.64, 0.011);
    EXPECT_NEAR(input.events[2].time, 1.0, 0.011);
    EXPECT_EQ(input.events[2].at.x, 299) << "x = 1 is the area's last column";
    EXPECT_NEAR(input.events[4].time, 1.14, 0.011);
    EXPECT_NEAR(input.events[8].time, 2.5, 0.011);
    EXPECT_EQ(input.events[9].at.x, 120);
    EXPECT_NEAR(input.events[10].time, 4.0, 0.011);
    EXPECT_EQ(input.events[10].at.x, 280) << "a drag lets go at its end point";

    const auto clamped = AgentPlanPerformer::pixelFor(area, 1.5, -2);
    EXPECT_EQ(clamped.x, 299);
    EXPECT_EQ(clamped.y, 50);
}

TEST(AgentRecordingTest, CursorTrackAndNarrationKeepEverythingOrFailWithTheirMessage) {
    testing::TempDir dir;
    RecordingFolder folder{dir / "rec"};
    fs::create_directories(folder.directory);
    auto meta = makeNewRecordingMeta(Uuid::random(), std::chrono::system_clock::now());
    meta.durationMs = 2000;
    writeRecordingMeta(folder, meta);
    const auto timeline = buildTimeline(decodeAgentActionPlan(
        R"({"steps": [{"x": 0.2, "y": 0.4, "time": 0.5, "narration": "First"}, {"x": 0.5, "y": 0.5, "time": 1.5}]})"));
    writeAgentCursorTrack(folder, meta, timeline);
    EXPECT_TRUE(meta.hasCursor);
    const auto written = readCursorTelemetry(folder, *readRecordingMeta(folder));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->points.size(), 121u);
    EXPECT_DOUBLE_EQ(written->points[30].cx, 0.2);

    // A folder that is gone: the error names the cursor track and meta.json keeps what it said.
    RecordingFolder gone{dir / "gone"};
    auto unsaved = meta;
    unsaved.hasCursor = false;
    try {
        writeAgentCursorTrack(gone, unsaved, timeline);
        FAIL() << "expected an error";
    } catch (const AgentRecordingError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Agent cursor track could not be saved: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(unsaved.hasCursor);

    writeTone(dir / "a.wav", 0.6);
    writeTone(dir / "b.wav", 0.5);
    const auto clips = agentNarrationClips({dir / "a.wav", dir / "b.wav"}, timeline, 2.0);
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_DOUBLE_EQ(clips[0].startTime, 0.5);
    EXPECT_EQ(clips[0].script, "First");
    EXPECT_NEAR(clips[1].startTime, 0.5 + clips[0].duration, 1e-9) << "a file without its step follows the last";

    try {
        agentNarrationClips({dir / "a.wav"}, timeline, 0.9);
        FAIL() << "expected an error";
    } catch (const AgentRecordingError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Generated voiceover is longer than the captured browser video (1.1s audio for 0.9s capture). Rerun "
                  "with a longer --duration or a shorter script; Orvane will not stretch the source clip into a dead "
                  "tail.");
    }
    EXPECT_THROW(agentNarrationClips({dir / "absent.wav"}, timeline, 5), AgentRecordingError);
}

}  // namespace
}  // namespace orvane
