#include "editor/auto_zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "camera_test_support.h"
#include "editor/click_detection.h"
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
    auto track = testing::restingTrack(0, 10000, 16, 0.3, 0.7);
    testing::press(track, 192, 240);
    const auto clicks = clicksFromTelemetry(track);
    ASSERT_EQ(clicks.size(), 1u);

    AutoZoomInputs inputs{.duration = 10, .cursorTrack = track};
    const AutoZoomResult result = autoZoomsFromClicks(clicks, inputs);
    EXPECT_EQ(result.status, AutoZoomStatus::ready(1));
    ASSERT_TRUE(result.zoomRegions);
    ASSERT_EQ(result.zoomRegions->size(), 1u);
    const ZoomRegion& zoom = result.zoomRegions->front();
    EXPECT_NEAR(zoom.start, 0.0, kTolerance);
    EXPECT_NEAR(zoom.end, 1.6, kTolerance);
    EXPECT_EQ(zoom.scale, 1.6);
    EXPECT_EQ(zoom.focusX, 0.3);
    EXPECT_EQ(zoom.focusY, 0.7);
    EXPECT_FALSE(zoom.followCursor);
    EXPECT_EQ(zoom.easeSpeed, 0.5);
}

TEST(AutoZoomTest, ZoomEndsWhenTheSmoothedCursorLeavesTheFocusSquare) {
    // Clicked at (0.3, 0.7), then the pointer jumps to the far corner at 1.3 s.
    auto track = testing::restingTrack(0, 1290, 10, 0.3, 0.7);
    for (auto p : testing::restingTrack(1300, 10000, 10, 0.95, 0.05)) track.push_back(p);
    testing::press(track, 200, 260);
    const std::vector<ClickAnnotation> clicks = {click(0.2, 0.3, 0.7)};
    const auto result = autoZoomsFromClicks(clicks, {.duration = 10, .cursorTrack = track, .cameraSmoothing = 0});
    ASSERT_TRUE(result.zoomRegions && result.zoomRegions->size() == 1);
    const double end = result.zoomRegions->front().end;
    EXPECT_GT(end, 1.0);
    EXPECT_LT(end, 1.4);
    EXPECT_NEAR(end * 30, std::round(end * 30), 1e-6);  // on the 1/30 s check grid

    // Already outside at the start: the zoom still lasts 1 s, even past a 0.5 s recording.
    const std::vector<ClickAnnotation> elsewhere = {click(0.2, 0.1, 0.1)};
    const auto far = autoZoomsFromClicks(elsewhere, {.duration = 10, .cursorTrack = track});
    EXPECT_NEAR(far.zoomRegions->front().end, 1.0, kTolerance);
    const auto tiny = autoZoomsFromClicks(elsewhere, {.duration = 0.5, .cursorTrack = track});
    EXPECT_NEAR(tiny.zoomRegions->front().end, 1.0, kTolerance);
    const auto candidate = ZoomCandidate{0, 0.5, 0.1, 0.1};
    EXPECT_NEAR(endAtCursorExit(candidate, {}, track, CursorSmoother(0.6)), 1.0, kTolerance);
    // No cursor data: the end stays.
    EXPECT_EQ(endAtCursorExit(candidate, {}, {}, CursorSmoother(0.6)), 0.5);
}

TEST(AutoZoomTest, ClicksClusterAndCandidatesKeepTheirLengthLimits) {
    const std::vector<ClickAnnotation> oneCluster = {click(3.0, 0.6, 0.2), click(1.0, 0.0, 0.2), click(2.0, 0.3, 0.8)};
    const auto single = candidatesFromClicks(oneCluster, 20);
    ASSERT_EQ(single.size(), 1u);
    expectCandidate(single[0], 0.5, 3.6, 0.3, 0.4);

    const std::vector<ClickAnnotation> twoClusters = {click(1.0, 0.2, 0.2), click(2.6, 0.8, 0.6)};
    const auto pair = candidatesFromClicks(twoClusters, 20);
    ASSERT_EQ(pair.size(), 2u);
    expectCandidate(pair[0], 0.5, 2.1, 0.2, 0.2);
    expectCandidate(pair[1], 2.1, 3.7, 0.8, 0.6);
    const auto merged = mergeCandidates(pair, auto_zoom::firstMergeGap);
    ASSERT_EQ(merged.size(), 1u);
    expectCandidate(merged[0], 0.5, 3.7, 0.5, 0.4);

    std::vector<ClickAnnotation> long_;
    for (int i = 1; i <= 11; ++i) long_.push_back(click(i));
    expectCandidate(candidatesFromClicks(long_, 30).front(), 0.5, 4.5, 0.5, 0.5);

    // Near the end of the recording the candidate stops at the duration.
    expectCandidate(candidatesFromClicks(std::vector{click(9.8)}, 10).front(), 9.3, 10.0, 0.5, 0.5);
}

TEST(AutoZoomTest, MergesJoinNearbyCandidatesAtTheMidpointOfTheirFoci) {
    const std::vector<ZoomCandidate> candidates = {{0, 1.6, 0.1, 0.2}, {2.6, 4.2, 0.5, 0.6}, {5.3, 6, 0.9, 0.9}};
    EXPECT_EQ(mergeCandidates(candidates, auto_zoom::firstMergeGap).size(), 3u);
    const auto second = mergeCandidates(candidates, auto_zoom::secondMergeGap);
    ASSERT_EQ(second.size(), 1u);
    // Pairwise: ((0.1 + 0.5) / 2 + 0.9) / 2, not the mean of three.
    expectCandidate(second[0], 0, 6, 0.6, 0.65);

    // Through the whole algorithm: clicks at 0.5 and 3.0 s give 0–1.6 and 2.5–4.1, 0.9 s apart.
    const auto result = autoZoomsFromClicks(std::vector{click(3.0, 0.9, 0.1), click(0.5, 0.1, 0.5)}, {.duration = 10});
    ASSERT_EQ(result.zoomRegions->size(), 1u);
    EXPECT_EQ(result.status, AutoZoomStatus::ready(1));
    EXPECT_NEAR(result.zoomRegions->front().end, 4.1, kTolerance);
    EXPECT_NEAR(result.zoomRegions->front().focusX, 0.5, kTolerance);

    const auto apart = autoZoomsFromClicks(std::vector{click(1), click(8)}, {.duration = 10});
    ASSERT_EQ(apart.zoomRegions->size(), 2u);
    EXPECT_LT(apart.zoomRegions->at(0).start, apart.zoomRegions->at(1).start);
    EXPECT_EQ(apart.status, AutoZoomStatus::ready(2));
}

TEST(AutoZoomTest, SwitchesAndMissingInputsStopBeforeTouchingTheZoomList) {
    const std::vector<ClickAnnotation> clicks = {click(1)};
    auto stopped = [](const AutoZoomResult& r, AutoZoomStatus status) {
        EXPECT_EQ(r.status, status);
        EXPECT_FALSE(r.zoomRegions);
    };
    stopped(autoZoomsFromClicks(clicks, {.duration = 10, .automaticZoomsSuppressed = true}), AutoZoomStatus::unknown());
    stopped(autoZoomsFromClicks(clicks, {.duration = 10, .autoZoomOnClicks = false}), AutoZoomStatus::unknown());
    stopped(autoZoomsFromClicks({}, {.duration = 10}), AutoZoomStatus::noClicks());
    stopped(autoZoomsFromClicks(clicks, {.duration = 0}), AutoZoomStatus::pendingDuration());

    EXPECT_TRUE(shouldApplyAutoZooms(false, {}));
    const std::vector<ZoomRegion> one(1);
    EXPECT_FALSE(shouldApplyAutoZooms(false, one));
    EXPECT_FALSE(shouldApplyAutoZooms(true, {}));

    EXPECT_EQ(openingAutoZoomStatus(false, false), AutoZoomStatus::noCursorTrack());
    EXPECT_EQ(openingAutoZoomStatus(true, false), AutoZoomStatus::clickCaptureDisabled());
    EXPECT_EQ(openingAutoZoomStatus(true, std::nullopt), AutoZoomStatus::computing());
    EXPECT_EQ(openingAutoZoomStatus(true, true), AutoZoomStatus::computing());
}

TEST(AutoZoomTest, LifecycleGeneratesOnceAndRespectsTheUsersEdits) {
    auto track = testing::restingTrack(0, 6000, 16, 0.4, 0.4);
    testing::press(track, 992, 1040);
    AutoZoomFields fields;
    fields.clips.push_back(Clip{});
    fields.autoZoomStatus = openingAutoZoomStatus(true, std::nullopt);

    // Clicks arrive before the duration: they wait for it.
    fields = afterTelemetryLoaded(fields, deriveFromTelemetry(track), {}, 0.6);
    EXPECT_EQ(fields.annotations.size(), 1u);
    EXPECT_EQ(fields.cursorTrack, track);
    EXPECT_EQ(fields.autoZoomStatus, AutoZoomStatus::pendingDuration());
    EXPECT_TRUE(fields.zoomRegions.empty());

    fields = afterDurationKnown(fields, 6.0, {}, 0.6);
    EXPECT_EQ(fields.clips.front().sourceEnd, 6.0);
    EXPECT_EQ(fields.autoZoomStatus, AutoZoomStatus::ready(1));
    EXPECT_TRUE(fields.autoZoomsApplied);
    ASSERT_EQ(fields.zoomRegions.size(), 1u);
    EXPECT_NEAR(fields.zoomRegions[0].start, 0.492, kTolerance);

    // The user deletes the zoom: nothing regenerates it, on this open or the next.
    fields.automaticZoomsSuppressed = true;
    fields.zoomRegions.clear();
    AutoZoomFields reopened = afterTelemetryLoaded(fields, deriveFromTelemetry(track), {}, 0.6);
    reopened = afterDurationKnown(reopened, 6.0, {}, 0.6);
    EXPECT_TRUE(reopened.zoomRegions.empty());
    EXPECT_EQ(applyAutoZooms(reopened, reopened.annotations, {}, 0.6).autoZoomStatus, AutoZoomStatus::unknown());

    // Re-running from the telemetry lifts the suppression and regenerates.
    const auto rerun = reloadCursorTelemetry(reopened, CursorTelemetry{track, 60}, "/rec/cursor.json", {}, 0.6);
    ASSERT_TRUE(rerun);
    EXPECT_FALSE(rerun->automaticZoomsSuppressed);
    EXPECT_EQ(rerun->zoomRegions.size(), 1u);
    EXPECT_EQ(rerun->cursorTrackURL, std::filesystem::path("/rec/cursor.json"));
    EXPECT_EQ(rerun->autoZoomStatus, AutoZoomStatus::ready(1));
    // A track without clicks changes nothing.
    EXPECT_FALSE(reloadCursorTelemetry(reopened, CursorTelemetry{testing::restingTrack(0, 100, 10, 0.1, 0.1), 60},
                                       "/rec/cursor.json", {}, 0.6));

    // Switched off in the preferences: no zooms, status unknown.
    AutoZoomFields off;
    off = afterTelemetryLoaded(off, deriveFromTelemetry(track), {.autoZoomOnClicks = false}, 0.6);
    off = afterDurationKnown(off, 6.0, {.autoZoomOnClicks = false}, 0.6);
    EXPECT_TRUE(off.zoomRegions.empty());
    EXPECT_EQ(off.autoZoomStatus, AutoZoomStatus::unknown());
}

TEST(AutoZoomTest, AdoptingATrackKeepsRestoredZoomsAndAnnotations) {
    auto track = testing::restingTrack(0, 3000, 16, 0.4, 0.4);
    testing::press(track, 992, 1040);
    AutoZoomFields restored;
    restored.zoomRegions = {ZoomRegion{}, ZoomRegion{}};
    restored.annotations = {click(2.5)};
    const AutoZoomFields adopted = adoptCursorTrack(restored, track, 60, std::nullopt);
    EXPECT_EQ(adopted.zoomRegions, restored.zoomRegions);
    EXPECT_EQ(adopted.annotations, restored.annotations);
    EXPECT_EQ(adopted.cursorInteractions.size(), 1u);
    EXPECT_FALSE(adopted.cursorTrackURL);
    EXPECT_EQ(adopted.autoZoomStatus, AutoZoomStatus::ready(2));

    const AutoZoomFields fresh = adoptCursorTrack({}, track, 60, std::filesystem::path("/r/cursor.json"));
    EXPECT_EQ(fresh.annotations.size(), 1u);
    EXPECT_TRUE(fresh.zoomRegions.empty());
    EXPECT_EQ(fresh.autoZoomStatus, AutoZoomStatus::noClicks());
}

TEST(AutoZoomTest, TelemetryFileErrorsAreTyped) {
    testing::TempDir dir;
    const auto missing = dir.path() / "cursor.json";
    try {
        readCursorTelemetryFile(missing);
        FAIL() << "expected an error";
    } catch (const CursorTelemetryFileError& error) {
        EXPECT_EQ(error.kind(), CursorTelemetryFileError::Kind::unreadable);
    }
    testing::writeTextFile(missing, "{\"points\": [");
    try {
        readCursorTelemetryFile(missing);
        FAIL() << "expected an error";
    } catch (const CursorTelemetryFileError& error) {
        EXPECT_EQ(error.kind(), CursorTelemetryFileError::Kind::undecodable);
    }
    const CursorTelemetry telemetry{testing::restingTrack(0, 100, 50, 0.2, 0.3), 60};
    testing::writeTextFile(missing, encodeCursorTelemetry(telemetry));
    EXPECT_EQ(readCursorTelemetryFile(missing), telemetry);
}

// A script with decisions at fixed times and one focus detection per decision time.
class FakeCinematicScript : public CinematicScript {
public:
    std::vector<std::int64_t> decisions;
    std::map<std::int64_t, CinematicFocusDetection> frames;  // by time at timescale 600

    std::vector<std::int64_t> decisionTimes(std::int64_t start, std::int64_t duration) const override {
        std::vector<std::int64_t> inRange;
        for (auto d : decisions)
            if (d >= start && d <= start + duration) inRange.push_back(d);
        return inRange;
    }
    std::optional<CinematicFocusDetection> frameFocus(std::int64_t time, double tolerance) const override {
        for (const auto& [t, detection] : frames)
            if (std::abs(static_cast<double>(t - time)) / 600.0 <= tolerance) return detection;
        return std::nullopt;
    }
};

TEST(AutoZoomTest, CinematicDecisionsBecomeFollowingZooms) {
    EXPECT_EQ(CinematicTracker::load("/no/such/screen.mp4"), nullptr);

    auto script = std::make_shared<FakeCinematicScript>();
    script->decisions = {0, 1200, 6000, 6300};  // 0, 2, 10 and 10.5 s
    script->frames[600] = {7, Rect{0.1, 0.2, 0.2, 0.2}};      // midpoint of 0–2
    script->frames[3000] = {100, Rect{0.8, 0.8, 0.1, 0.1}};   // midpoint of 2–8: automatic focus
    auto tracker = std::make_shared<CinematicTracker>(script);

    const auto zooms = tracker->zoomRegions(12.5, 1.2);
    ASSERT_EQ(zooms.size(), 3u);  // 10–10.5 is too short
    EXPECT_NEAR(zooms[0].end, 2, kTolerance);
    EXPECT_NEAR(zooms[0].focusX, 0.2, kTolerance);
    EXPECT_NEAR(zooms[0].focusY, 0.3, kTolerance);
    EXPECT_NEAR(zooms[1].start, 2, kTolerance);
    EXPECT_NEAR(zooms[1].end, 8, kTolerance);
    EXPECT_EQ(zooms[1].focusX, 0.5);
    EXPECT_NEAR(zooms[2].start, 10.5, kTolerance);
    EXPECT_NEAR(zooms[2].end, 12.5, kTolerance);
    for (const auto& z : zooms) {
        EXPECT_EQ(z.scale, 1.2);
        EXPECT_TRUE(z.followCursor);
    }

    // Only with the preference on; the first zoom is selected and the status is left alone.
    AutoZoomFields fields;
    fields.duration = 12.5;
    fields.annotations = {click(4)};
    const AutoZoomFields off = afterCinematicLoaded(fields, tracker, {});
    EXPECT_TRUE(off.isCinematic);
    EXPECT_TRUE(off.zoomRegions.empty());
    const AutoZoomFields on = afterCinematicLoaded(fields, tracker, {.autoZoomCinematic = true});
    ASSERT_EQ(on.zoomRegions.size(), 3u);
    EXPECT_EQ(on.selectedZoomID, on.zoomRegions[0].id);
    EXPECT_EQ(on.autoZoomStatus, fields.autoZoomStatus);
    EXPECT_FALSE(on.autoZoomsApplied);
    // Cinematic zooms fill the list first, so the clicks add nothing when the duration arrives.
    AutoZoomFields pending = fields;
    pending.duration = 0;
    pending = afterCinematicLoaded(pending, tracker, {.autoZoomCinematic = true});
    EXPECT_TRUE(pending.zoomRegions.empty());
    pending = afterDurationKnown(pending, 12.5, {.autoZoomCinematic = true}, 0.6);
    EXPECT_EQ(pending.zoomRegions.size(), 3u);
    EXPECT_TRUE(pending.zoomRegions[0].followCursor);

    // The camera follows the script's subject instead of the cursor.
    const std::vector<ZoomRegion> following = {zooms[0]};
    const CameraState state = cameraState({.zoomRegions = following, .cinematicTracker = tracker.get()}, 1.0);
    EXPECT_NEAR(state.focusX, 0.2, kTolerance);
    EXPECT_NEAR(state.scale, 1.2, kTolerance);
}

}  // namespace
}  // namespace orvane
