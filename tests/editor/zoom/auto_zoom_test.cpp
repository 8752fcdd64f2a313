#include "editor/auto_zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "editor/auto_zoom_status.h"
#include "editor/click_detection.h"
#include "model/camera/camera_test_support.h"
#include "model/recording_files.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

constexpr double kTolerance = 1e-9;

ClickAnnotation click(double time, double cx = 0.5, double cy = 0.5) {
    ClickAnnotation c;
    c.time = time;
    c.cx = cx;
    c.cy = cy;
    return c;
}

void expectCandidate(const ZoomCandidate& c, double start, double end, double fx, double fy) {
    EXPECT_NEAR(c.start, start, kTolerance);
    EXPECT_NEAR(c.end, end, kTolerance);
    EXPECT_NEAR(c.fx, fx, kTolerance);
    EXPECT_NEAR(c.fy, fy, kTolerance);
}

TEST(AutoZoomTest, OneClickWithThePointerRestingGivesOneShortZoom) {
    auto track = testing::restingTrack(0, 10000, 20, 0.3, 0.7);
    testing::press(track, 200, 240);
    const auto result = autoZoomsFromClicks(clicksFromTelemetry(track), {.duration = 10, .cursorTrack = track});
    EXPECT_EQ(result.status, AutoZoomStatus::ready(1));
    ASSERT_EQ(result.zoomRegions->size(), 1u);
    const ZoomRegion& zoom = result.zoomRegions->front();
    EXPECT_EQ(zoom, (ZoomRegion{zoom.id, 0.0, 1.6, 1.6, 0.3, 0.7, false, 0.5}));
}

TEST(AutoZoomTest, ZoomEndsWhenTheSmoothedCursorLeavesTheFocusSquare) {
    // Clicked at (0.3, 0.7), then the pointer jumps to the far corner at 1.3 s.
    auto track = testing::restingTrack(0, 1290, 10, 0.3, 0.7);
    for (auto p : testing::restingTrack(1300, 10000, 10, 0.95, 0.05)) track.push_back(p);
    const auto result = autoZoomsFromClicks(std::vector{click(0.2, 0.3, 0.7)},
                                            {.duration = 10, .cursorTrack = track, .cameraSmoothing = 0});
    const double end = result.zoomRegions->front().end;
    EXPECT_GT(end, 1.0);
    EXPECT_LT(end, 1.4);
    EXPECT_NEAR(end * 30, std::round(end * 30), 1e-6);  // on the 1/30 s check grid

    // Outside already at the start: the zoom still lasts 1 s, even past the end of a 0.5 s recording.
    const auto far = std::vector{click(0.2, 0.1, 0.1)};
    EXPECT_NEAR(autoZoomsFromClicks(far, {.duration = 10, .cursorTrack = track}).zoomRegions->front().end, 1.0,
                kTolerance);
    EXPECT_NEAR(autoZoomsFromClicks(far, {.duration = 0.5, .cursorTrack = track}).zoomRegions->front().end, 1.0,
                kTolerance);
    EXPECT_EQ(endAtCursorExit({0, 0.5, 0.1, 0.1}, {}, {}, CursorSmoother(0.6)), 0.5);  // no cursor data
}

TEST(AutoZoomTest, ClicksClusterAndCandidatesKeepTheirLengthLimits) {
    const auto single =
        candidatesFromClicks(std::vector{click(3.0, 0.6, 0.2), click(1.0, 0.0, 0.2), click(2.0, 0.3, 0.8)}, 20);
    ASSERT_EQ(single.size(), 1u);
    expectCandidate(single[0], 0.5, 3.6, 0.3, 0.4);

    const auto pair = candidatesFromClicks(std::vector{click(1.0, 0.2, 0.2), click(2.6, 0.8, 0.6)}, 20);
    ASSERT_EQ(pair.size(), 2u);
    expectCandidate(pair[0], 0.5, 2.1, 0.2, 0.2);
    expectCandidate(pair[1], 2.1, 3.7, 0.8, 0.6);
    const auto merged = mergeCandidates(pair, auto_zoom::firstMergeGap);
    ASSERT_EQ(merged.size(), 1u);
    expectCandidate(merged[0], 0.5, 3.7, 0.5, 0.4);

    std::vector<ClickAnnotation> tenSeconds;
    for (int i = 1; i <= 11; ++i) tenSeconds.push_back(click(i));
    expectCandidate(candidatesFromClicks(tenSeconds, 30).front(), 0.5, 4.5, 0.5, 0.5);
    expectCandidate(candidatesFromClicks(std::vector{click(9.8)}, 10).front(), 9.3, 10.0, 0.5, 0.5);
}

TEST(AutoZoomTest, SecondMergeJoinsTrimmedZoomsAtPairwiseMidpoints) {
    const std::vector<ZoomCandidate> candidates = {{0, 1.6, 0.1, 0.2}, {2.6, 4.2, 0.5, 0.6}, {5.3, 6, 0.9, 0.9}};
    EXPECT_EQ(mergeCandidates(candidates, auto_zoom::firstMergeGap).size(), 3u);
    const auto second = mergeCandidates(candidates, auto_zoom::secondMergeGap);
    ASSERT_EQ(second.size(), 1u);
    expectCandidate(second[0], 0, 6, 0.6, 0.65);  // ((a + b) / 2 + c) / 2, not the mean of three

    // Clicks at 0.5 and 3.0 s give 0–1.6 and 2.5–4.1: 0.9 s apart, joined by the second merge.
    const auto joined = autoZoomsFromClicks(std::vector{click(3.0, 0.9, 0.1), click(0.5, 0.1, 0.5)}, {.duration = 10});
    ASSERT_EQ(joined.zoomRegions->size(), 1u);
    EXPECT_NEAR(joined.zoomRegions->front().end, 4.1, kTolerance);
    EXPECT_EQ(autoZoomsFromClicks(std::vector{click(8), click(1)}, {.duration = 10}).status, AutoZoomStatus::ready(2));
}

TEST(AutoZoomTest, SwitchesAndMissingInputsLeaveTheZoomListAlone) {
    const std::vector<ClickAnnotation> clicks = {click(1)};
    const std::pair<AutoZoomInputs, AutoZoomStatus> cases[] = {
        {{.duration = 10, .automaticZoomsSuppressed = true}, AutoZoomStatus::unknown()},
        {{.duration = 10, .autoZoomOnClicks = false}, AutoZoomStatus::unknown()},
        {{.duration = 0}, AutoZoomStatus::pendingDuration()}};
    for (const auto& [inputs, status] : cases) {
        const auto result = autoZoomsFromClicks(clicks, inputs);
        EXPECT_EQ(result.status, status);
        EXPECT_FALSE(result.zoomRegions);
    }
    EXPECT_EQ(autoZoomsFromClicks({}, {.duration = 10}).status, AutoZoomStatus::noClicks());
    EXPECT_EQ(openingAutoZoomStatus(false, false), AutoZoomStatus::noCursorTrack());
    EXPECT_EQ(openingAutoZoomStatus(true, false), AutoZoomStatus::clickCaptureDisabled());
    EXPECT_EQ(openingAutoZoomStatus(true, std::nullopt), AutoZoomStatus::computing());
}

TEST(AutoZoomTest, LifecycleGeneratesOnceAndRespectsTheUsersEdits) {
    auto track = testing::restingTrack(0, 6000, 16, 0.4, 0.4);
    testing::press(track, 992, 1040);
    AutoZoomFields fields;
    fields.clips.push_back(Clip{});

    // Clicks arrive before the duration and wait for it.
    fields = afterTelemetryLoaded(fields, deriveFromTelemetry(track), {}, 0.6);
    EXPECT_EQ(fields.annotations.size(), 1u);
    EXPECT_EQ(fields.autoZoomStatus, AutoZoomStatus::pendingDuration());
    fields = afterDurationKnown(fields, 6.0, {}, 0.6);
    EXPECT_EQ(fields.clips.front().sourceEnd, 6.0);
    EXPECT_EQ(fields.autoZoomStatus, AutoZoomStatus::ready(1));
    EXPECT_TRUE(fields.autoZoomsApplied);
    EXPECT_EQ(fields.zoomRegions.size(), 1u);

    // The user deletes the zoom: nothing regenerates it, on this open or the next.
    fields.automaticZoomsSuppressed = true;
    fields.zoomRegions.clear();
    fields.autoZoomStatus = openingAutoZoomStatus(true, true);
    AutoZoomFields reopened =
        afterDurationKnown(afterTelemetryLoaded(fields, deriveFromTelemetry(track), {}, 0.6), 6.0, {}, 0.6);
    EXPECT_TRUE(reopened.zoomRegions.empty());
    EXPECT_EQ(reopened.autoZoomStatus, AutoZoomStatus::unknown());  // no banner, nothing left computing
    EXPECT_EQ(applyAutoZooms(reopened, reopened.annotations, {}, 0.6).autoZoomStatus, AutoZoomStatus::unknown());

    // Re-running from the telemetry lifts the suppression; a track without clicks changes nothing.
    const auto rerun = reloadCursorTelemetry(reopened, CursorTelemetry{track, 60}, "/rec/cursor.json", {}, 0.6);
    ASSERT_TRUE(rerun);
    EXPECT_FALSE(rerun->automaticZoomsSuppressed);
    EXPECT_EQ(rerun->zoomRegions.size(), 1u);
    EXPECT_EQ(rerun->cursorTrackPath, std::filesystem::path("/rec/cursor.json"));
    EXPECT_FALSE(reloadCursorTelemetry(reopened, CursorTelemetry{testing::restingTrack(0, 100, 10, 0.1, 0.1), 60},
                                       "/rec/cursor.json", {}, 0.6));

    // Adopting a track keeps restored zooms and reports them.
    const AutoZoomFields adopted = adoptCursorTrack(fields, track, 60, std::nullopt);
    EXPECT_EQ(adopted.autoZoomStatus, AutoZoomStatus::noClicks());
    EXPECT_EQ(adopted.cursorInteractions.size(), 1u);
    EXPECT_EQ(adoptCursorTrack(*rerun, track, 60, std::nullopt).autoZoomStatus, AutoZoomStatus::ready(1));
}

TEST(AutoZoomTest, TelemetryFileErrorsAreTyped) {
    testing::TempDir dir;
    const auto file = dir.path() / "cursor.json";
    auto kindOf = [&] {
        try {
            readCursorTelemetryFile(file);
        } catch (const CursorTelemetryFileError& error) {
            return std::optional(error.kind());
        }
        return std::optional<CursorTelemetryFileError::Kind>();
    };
    EXPECT_EQ(kindOf(), CursorTelemetryFileError::Kind::unreadable);
    testing::writeTextFile(file, "{\"points\": [");
    EXPECT_EQ(kindOf(), CursorTelemetryFileError::Kind::undecodable);
    const CursorTelemetry telemetry{testing::restingTrack(0, 100, 50, 0.2, 0.3), 60};
    testing::writeTextFile(file, encodeCursorTelemetry(telemetry));
    EXPECT_EQ(readCursorTelemetryFile(file), telemetry);
}

// Decisions at fixed times and focus detections by frame time (timescale 600).
class FakeCinematicScript : public CinematicScript {
public:
    std::vector<std::int64_t> decisions;
    std::map<std::int64_t, CinematicFocusDetection> frames;

    std::vector<std::int64_t> decisionTimes(std::int64_t, std::int64_t) const override { return decisions; }
    std::optional<CinematicFocusDetection> frameFocus(std::int64_t time, double tolerance) const override {
        for (const auto& [t, detection] : frames)
            if (std::abs(static_cast<double>(t - time)) / 600.0 <= tolerance) return detection;
        return std::nullopt;
    }
};

TEST(AutoZoomTest, CinematicDecisionsBecomeFollowingZooms) {
    EXPECT_EQ(CinematicTracker::load("/no/such/screen.mp4"), nullptr);

    auto script = std::make_shared<FakeCinematicScript>();
    script->decisions = {0, 1200, 6000, 6300};                // 0, 2, 10 and 10.5 s
    script->frames[600] = {7, Rect{0.125, 0.25, 0.25, 0.5}};  // midpoint of 0–2: a subject
    script->frames[3000] = {100, Rect{0.8, 0.8, 0.1, 0.1}};   // midpoint of 2–8: automatic focus
    auto tracker = std::make_shared<CinematicTracker>(script);

    const auto zooms = tracker->zoomRegions(12.5, 1.2);
    ASSERT_EQ(zooms.size(), 3u);  // 10–10.5 s is too short
    EXPECT_EQ(zooms[0], (ZoomRegion{zooms[0].id, 0, 2, 1.2, 0.25, 0.5, true, 0.5}));
    EXPECT_EQ(zooms[1], (ZoomRegion{zooms[1].id, 2, 8, 1.2, 0.5, 0.5, true, 0.5}));
    EXPECT_NEAR(zooms[2].end, 12.5, kTolerance);

    // Only with the preference on; the first zoom is selected, the status left alone, and the
    // clicks add nothing once the duration arrives.
    AutoZoomFields fields;
    fields.annotations = {click(4)};
    EXPECT_TRUE(afterDurationKnown(afterCinematicLoaded(fields, tracker, {}), 12.5, {.autoZoomOnClicks = false}, 0.6)
                    .zoomRegions.empty());
    const AutoZoomFields on = afterDurationKnown(afterCinematicLoaded(fields, tracker, {.autoZoomCinematic = true}),
                                                 12.5, {.autoZoomCinematic = true}, 0.6);
    ASSERT_EQ(on.zoomRegions.size(), 3u);
    EXPECT_TRUE(on.isCinematic);
    EXPECT_EQ(on.selectedZoomID, on.zoomRegions[0].id);
    EXPECT_EQ(on.autoZoomStatus, AutoZoomStatus::unknown());

    // The camera follows the script's subject instead of the cursor.
    const std::vector<ZoomRegion> following = {zooms[0]};
    EXPECT_NEAR(cameraState({.zoomRegions = following, .cinematicTracker = tracker.get()}, 1.0).focusX, 0.25,
                kTolerance);
}

TEST(AutoZoomStatusTest, BannersCountClustersAndStayQuietWhileWorking) {
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::ready(1)),
              (AutoZoomBanner{"plus.magnifyingglass", "Auto-zoomed 1 click cluster \u00b7 right-click to delete"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::ready(12))->text,
              "Auto-zoomed 12 click clusters \u00b7 right-click to delete");
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::noClicks()),
              (AutoZoomBanner{"hand.tap", "No clicks detected \u2014 add zooms manually with the toolbar"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::noCursorTrack()),
              (AutoZoomBanner{"cursorarrow.slash", "Imported video \u2014 no cursor data, auto-zoom unavailable"}));
    EXPECT_EQ(autoZoomBanner(AutoZoomStatus::clickCaptureDisabled()),
              (AutoZoomBanner{"hand.raised.slash.fill",
                              "Click capture disabled \u2014 grant Input Monitoring in System Settings"}));
    for (auto quiet : {AutoZoomStatus::ready(0), AutoZoomStatus::unknown(), AutoZoomStatus::computing(),
                       AutoZoomStatus::pendingDuration()})
        EXPECT_EQ(autoZoomBanner(quiet), std::nullopt);
}

}  // namespace
}  // namespace orvane
