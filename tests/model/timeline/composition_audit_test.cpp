#include <gtest/gtest.h>

#include <mutex>

#include "base/atomic_file.h"
#include "clip_test_support.h"
#include "base/log.h"
#include "model/composition_audit.h"
#include "model/composition_json.h"
#include "model/composition_save.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Discrepancy = CompositionAudit::Discrepancy;

using testing::clip;

ResolvedLayer screenLayer(std::vector<ResolvedLayer::Span> spans) {
    ResolvedLayer layer;
    layer.kind = LayerKind::screen;
    layer.spans = std::move(spans);
    return layer;
}

struct CapturedLog {
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex);
        return captured;
    }
    std::mutex mutex;
    std::vector<std::string> captured;
    log::ScopedSink sink{[this](log::Level, const std::string& line) {
        std::lock_guard lock(mutex);
        captured.push_back(line);
    }};
};

TEST(CompositionAudit, ResolvedClipsMatchTheClipMapping) {
    const std::vector<Clip> clips = {clip(0, 5), clip(10, 12, 1), clip(3, 3, 0.5), clip(2, 4)};
    const auto document = buildCompositionDocument(Uuid::random(), clips, "screen.mp4", 12, 0, 0);
    const auto resolved = resolveComposition(document);
    for (int samples : {100, 1, 0}) {
        EXPECT_TRUE(CompositionAudit::run(clips, resolved.firstLayer(LayerKind::screen), samples, resolved.duration)
                        .empty()) << samples;
    }

    CapturedLog captured;
    CompositionAudit::log("ABC", clips.size(), resolved.duration, {});
    EXPECT_EQ(captured.lines(), (std::vector<std::string>{
                                    "[Orvane.CompositionAudit] \u2713 resolver matches ClipComposition "
                                    "(recording=ABC, clips=4, duration=10.5000)"}));
}

TEST(CompositionAudit, ReportsAShortResolvedLayerAtEverySampleItMisses) {
    const std::vector<Clip> clips = {clip(0, 4)};
    const auto layer = screenLayer({{0, 2, 0, 2, 0}});
    const auto found = CompositionAudit::run(clips, &layer, 4, 2);
    const std::vector<Discrepancy> expected = {
        {"duration", "resolved=2 vs ClipComposition=4 (\u0394=2)"},
        {"mapping_diverged", "t=3 old=source3 new=nil"},
        {"mapping_diverged", "t=4 old=source4 new=nil"},
        {"mapping_diverged", "t=3.999999 old=source3.999999 new=nil"},
        {"mapping_diverged", "t=4 old=source4 new=nil"},
    };
    EXPECT_EQ(found, expected);
}

TEST(CompositionAudit, ReportsDriftExtraContentAndAMissingScreenLayer) {
    // The resolved layer reads one second later in the source than the clip does.
    const std::vector<Clip> clips = {clip(0, 2)};
    const auto drifting = screenLayer({{0, 2, 1, 3, 0}});
    const auto drift = CompositionAudit::run(clips, &drifting, 2, 2);
    ASSERT_EQ(drift.size(), 7u);  // 3 evenly spaced samples and 4 edge samples, all drifting
    EXPECT_EQ(drift[0], (Discrepancy{"sourceTime_drift", "t=0 old=0 new=1"}));
    EXPECT_EQ(drift[1], (Discrepancy{"sourceTime_drift", "t=1 old=1 new=2"}));
    EXPECT_EQ(drift[2], (Discrepancy{"sourceTime_drift", "t=2 old=2 new=3"}));
    EXPECT_EQ(drift[4], (Discrepancy{"sourceTime_drift", "t=1e-06 old=1e-06 new=1.000001"}));

    // The resolved layer shows a second span where the clips show nothing.
    const auto extra = screenLayer({{0, 2, 0, 2, 0}, {3, 4, 7, 8, 2}});
    const auto found = CompositionAudit::run(clips, &extra, 4, 4);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0], (Discrepancy{"duration", "resolved=4 vs ClipComposition=2 (\u0394=2)"}));
    EXPECT_EQ(found[1], (Discrepancy{"mapping_diverged", "t=3 old=nil new=source7"}));
    EXPECT_EQ(found[2], (Discrepancy{"mapping_diverged", "t=4 old=nil new=source8"}));
    EXPECT_EQ(found.size(), 3u);

    // Without a screen layer only the duration is compared.
    EXPECT_EQ(CompositionAudit::run(clips, nullptr, 100, 3),
              (std::vector<Discrepancy>{{"duration", "resolved=3 vs ClipComposition=2 (\u0394=1)"},
                                        {"no_screen_layer", "Resolved timeline has no .screen layer"}}));
    EXPECT_EQ(CompositionAudit::run(clips, nullptr, 100, 2),
              (std::vector<Discrepancy>{{"no_screen_layer", "Resolved timeline has no .screen layer"}}));
    // Differences within a microsecond are rounding, not disagreement.
    const auto close = screenLayer({{0, 2, 0.0000005, 2.0000005, 0}});
    EXPECT_TRUE(CompositionAudit::run(clips, &close, 10, 2.0000005).empty());
}

TEST(CompositionAudit, LogsAtMostEightDiscrepancies) {
    std::vector<Discrepancy> many;
    for (int i = 0; i < 11; ++i) many.push_back({"sourceTime_drift", "t=" + std::to_string(i)});
    CapturedLog captured;
    CompositionAudit::log("R", 3, 1, many);
    const auto lines = captured.lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "[Orvane.CompositionAudit] \u2717 11 discrepancy(ies) (recording=R, clips=3)");
    EXPECT_EQ(lines[1], "[Orvane.CompositionAudit]   \u2022 sourceTime_drift: t=0");
    EXPECT_EQ(lines[8], "[Orvane.CompositionAudit]   \u2022 sourceTime_drift: t=7");
}

TEST(CompositionSave, DoesNothingWhenOffAuditsThenWritesWhenOn) {
    testing::TempDir folder;
    const std::vector<Clip> clips = {clip(0, 3), clip(5, 6, 1)};
    CompositionSaveInput input;
    input.recordingID = Uuid::random();
    input.clips = clips;
    input.duration = 6;
    input.trimEnd = 4;
    input.screenVideo = folder / "screen.mp4";
    input.recordingFolder = folder.path();

    {
        CapturedLog captured;
        EXPECT_FALSE(saveCompositionIfEnabled(false, input));
        EXPECT_TRUE(captured.lines().empty());
        EXPECT_FALSE(std::filesystem::exists(folder / "composition.json"));
    }
    {
        CapturedLog captured;
        EXPECT_TRUE(saveCompositionIfEnabled(true, input));
        EXPECT_EQ(captured.lines(), (std::vector<std::string>{
                                        "[Orvane.CompositionAudit] \u2713 resolver matches ClipComposition (recording=" +
                                        input.recordingID.string() + ", clips=2, duration=5.0000)"}));
        const auto text = readFileContents(folder / "composition.json");
        ASSERT_TRUE(text);
        const auto document = decodeCompositionDocument(*text);
        ASSERT_TRUE(document);
        EXPECT_EQ(document->recordingID, input.recordingID);
        EXPECT_EQ(document->trimEnd, 4);
        EXPECT_EQ(document->assets.at(0).fileRef, "screen.mp4");
        EXPECT_EQ(document->layers.at(0).placement.segments, (std::vector<Segment>{{0, 3, 0}, {5, 6, 1}}));
    }
    {
        // A folder that cannot be written: logged, not thrown, and the audit still ran first.
        CapturedLog captured;
        input.recordingFolder = folder / "gone";
        EXPECT_FALSE(saveCompositionIfEnabled(true, input));
        const auto lines = captured.lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].rfind("[Orvane.CompositionAudit] \u2713", 0), 0u);
        EXPECT_EQ(lines[1].rfind("[Orvane.Composition] composition.json not written (recording=", 0), 0u) << lines[1];
    }
}

}  // namespace
}  // namespace orvane
