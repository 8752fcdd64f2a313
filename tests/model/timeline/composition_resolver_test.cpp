#include <gtest/gtest.h>

#include <limits>

#include "clip_test_support.h"
#include "model/composition_resolver.h"

namespace orvane {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

using testing::clip;

Asset asset(double intrinsicDuration) {
    Asset a;
    a.fileRef = "screen.mp4";
    a.intrinsicDuration = intrinsicDuration;
    return a;
}

Layer contentLayer(LayerKind kind, std::optional<Uuid> assetRef, std::vector<Segment> segments) {
    Layer layer;
    layer.kind = kind;
    layer.assetRef = assetRef;
    layer.placement.segments = std::move(segments);
    return layer;
}

Layer modifier(LayerKind kind, LayerProps props) {
    Layer layer;
    layer.kind = kind;
    layer.props = std::move(props);
    return layer;
}

TEST(CompositionBuild, EditorDocumentHoldsOneScreenAssetAndLayerCoveringTheClipsOrTheWholeDuration) {
    const auto recording = Uuid::random();
    const std::vector<Clip> clips = {clip(0, 4), clip(6, 12, -1), clip(20, 18, 0.5)};
    const auto document = buildCompositionDocument(recording, clips, "/data/Recordings/X/screen.mov", 9, 1, 7);

    EXPECT_EQ(document.recordingID, recording);
    EXPECT_EQ(document.trimStart, 1);
    EXPECT_EQ(document.trimEnd, 7);
    ASSERT_EQ(document.assets.size(), 1u);
    const auto& screen = document.assets[0];
    // The largest source end beats the editor's 9 s.
    EXPECT_EQ(screen, (Asset{screen.id, AssetKind::screen, "screen.mov", AssetOrigin::captured, 0, 18, {}, {}}));

    ASSERT_EQ(document.layers.size(), 1u);
    const auto& layer = document.layers[0];
    EXPECT_EQ(layer.kind, LayerKind::screen);
    EXPECT_EQ(layer.assetRef, screen.id);
    EXPECT_TRUE(layer.enabled);
    EXPECT_EQ(layer.props, LayerProps{});
    EXPECT_EQ(layer.placement.segments,
              (std::vector<Segment>{{0, 4, 0}, {6, 12, 0}, {20, 18, 0.5}}));  // negative head offset floored

    // No clips: one segment over the whole duration.
    const auto empty = buildCompositionDocument(Uuid::random(), {}, "screen.mp4", 12.5, 0, 0);
    ASSERT_EQ(empty.layers.size(), 1u);
    EXPECT_EQ(empty.layers[0].placement.segments, (std::vector<Segment>{{0, 12.5, 0}}));
    const auto resolved = resolveComposition(empty);
    ASSERT_EQ(resolved.layers.size(), 1u);
    EXPECT_EQ(resolved.layers[0].spans, (std::vector<ResolvedLayer::Span>{{0, 12.5, 0, 12.5, 0}}));
    EXPECT_EQ(resolved.duration, 12.5);
    EXPECT_EQ(resolved.trimEnd, 12.5);

    const auto tiny = buildCompositionDocument(Uuid::random(), {}, "screen.mp4", 0, 0, 0);
    EXPECT_EQ(tiny.assets[0].intrinsicDuration, 0.001);
    EXPECT_EQ(tiny.layers[0].placement.segments, (std::vector<Segment>{{0, 0.001, 0}}));
}

TEST(CompositionResolve, ShortestContentLayerLimitsEveryLayer) {
    CompositionDocument document;
    document.assets = {asset(10), asset(6)};
    document.layers = {contentLayer(LayerKind::screen, document.assets[0].id, {{0, 10, 0}}),
                       contentLayer(LayerKind::camera, document.assets[1].id, {{0, 10, 0}})};
    EXPECT_EQ(layerDuration(document.layers[0], document), 10);
    EXPECT_EQ(layerDuration(document.layers[1], document), 6);
    EXPECT_EQ(contentLimit(document), 6);

    const auto resolved = resolveComposition(document);
    ASSERT_EQ(resolved.layers.size(), 2u);
    EXPECT_EQ(resolved.layers[0].spans, (std::vector<ResolvedLayer::Span>{{0, 6, 0, 6, 0}}));
    EXPECT_EQ(resolved.layers[1].spans, (std::vector<ResolvedLayer::Span>{{0, 6, 0, 6, 0}}));
    EXPECT_EQ(resolved.duration, 6);
    EXPECT_EQ(resolved.contentLimit, 6);
    EXPECT_EQ(resolved.layers[1].kind, LayerKind::camera);
    EXPECT_EQ(resolved.layers[1].assetRef, document.assets[1].id);

    // Layers that do not take part in the limit: disabled, modifiers, without an asset or segments.
    document.layers[1].enabled = false;
    document.layers.push_back(contentLayer(LayerKind::audio, std::nullopt, {{0, 2, 0}}));
    document.layers.push_back(contentLayer(LayerKind::videoOverlay, document.assets[1].id, {}));
    document.layers.push_back(modifier(LayerKind::zoom, {}));
    EXPECT_EQ(contentLimit(document), 10);
    const auto relaxed = resolveComposition(document);
    // The disabled camera is still resolved, now cut only by its own asset.
    EXPECT_EQ(relaxed.layers[1].spans, (std::vector<ResolvedLayer::Span>{{0, 6, 0, 6, 0}}));
    EXPECT_TRUE(relaxed.layers[3].spans.empty());
    EXPECT_TRUE(relaxed.layers[4].spans.empty());
    EXPECT_EQ(relaxed.duration, 10);
    ASSERT_EQ(relaxed.modifiers.size(), 1u);

    CompositionDocument empty;
    EXPECT_EQ(contentLimit(empty), kInfinity);
    const auto nothing = resolveComposition(empty);
    EXPECT_EQ(nothing.duration, 0);
    EXPECT_EQ(nothing.contentLimit, 0);  // no finite limit: the duration stands in
}

TEST(CompositionResolve, SegmentsAreCutToTheirAssetAndToTheLimit) {
    CompositionDocument document;
    document.assets = {asset(5)};
    // One segment past the asset's end, one straddling it, one reversed, with head gaps.
    document.layers = {contentLayer(LayerKind::screen, document.assets[0].id, {{7, 9, 1}, {3, 8, 0.5}, {4, 2, -2}})};
    EXPECT_EQ(layerDuration(document.layers[0], document), 1 + 0.5 + 2);

    const auto spans = layerSpans(document.layers[0], document, kInfinity);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0], (ResolvedLayer::Span{1, 1, 7, 7, 0}));      // zero length, only its head gap
    EXPECT_EQ(spans[1], (ResolvedLayer::Span{1.5, 3.5, 3, 5, 1}));  // cut at the asset's 5 s
    EXPECT_EQ(spans[2], (ResolvedLayer::Span{3.5, 3.5, 4, 4, 3.5}));

    // A layer naming an unknown asset plays its segments in full.
    auto orphan = contentLayer(LayerKind::screen, Uuid::random(), {{0, 100, 0}});
    EXPECT_EQ(layerDuration(orphan, document), 100);

    // The limit cuts spans short, or before they start: then the end is pulled back below the start.
    document.assets[0].intrinsicDuration = 100;
    const auto layer = contentLayer(LayerKind::screen, document.assets[0].id, {{0, 4, 0}, {10, 14, 1}, {20, 22, 3}});
    EXPECT_EQ(layerSpans(layer, document, 6),
              (std::vector<ResolvedLayer::Span>{{0, 4, 0, 4, 0}, {5, 6, 10, 11, 4}, {9, 6, 20, 17, 6}}));

    EXPECT_TRUE(layerSpans(modifier(LayerKind::annotation, {}), document, 6).empty());
}

TEST(CompositionResolve, ModifiersAndTrimAreClampedToTheDuration) {
    CompositionDocument document;
    document.assets = {asset(8)};
    document.layers.push_back(contentLayer(LayerKind::screen, document.assets[0].id, {{0, 8, 0}}));
    auto range = [](std::optional<double> start, std::optional<double> end) {
        LayerProps props;
        props.timeRangeStart = start;
        props.timeRangeEnd = end;
        return props;
    };
    auto instant = [](std::optional<double> time) {
        LayerProps props;
        props.time = time;
        return props;
    };
    for (const auto& props : {range(3, std::nullopt), range(12, 15)}) {
        document.layers.push_back(modifier(LayerKind::zoom, props));
    }
    for (const auto& props : {range(-2, 20), range(5, 2)}) document.layers.push_back(modifier(LayerKind::mute, props));
    for (const auto& time : {std::optional<double>(), std::optional(30.0), std::optional(-1.0), std::optional(2.5)}) {
        document.layers.push_back(modifier(LayerKind::annotation, instant(time)));
    }
    document.layers.push_back(modifier(LayerKind::zoom, {}));
    document.layers.back().enabled = false;

    const auto resolved = resolveComposition(document);
    EXPECT_EQ(resolved.layers.size(), document.layers.size());
    ASSERT_EQ(resolved.modifiers.size(), 9u);
    std::vector<std::pair<double, double>> ranges;
    for (const auto& m : resolved.modifiers) ranges.emplace_back(m.compositionStart, m.compositionEnd);
    EXPECT_EQ(ranges, (std::vector<std::pair<double, double>>{
                          {3, 3}, {8, 8}, {0, 8}, {5, 5}, {0, 0}, {8, 8}, {0, 0}, {2.5, 2.5}, {0, 0}}));
    EXPECT_EQ(resolved.modifiers[1].id, document.layers[2].id);
    EXPECT_EQ(resolved.modifiers[1].props, range(12, 15));
    EXPECT_EQ(resolved.modifiers[2].kind, LayerKind::mute);
    EXPECT_FALSE(resolved.modifiers[8].enabled);

    // Trims are clamped into the duration, and an end below the start meets it.
    const std::pair<double, double> trims[][2] = {
        {{20, 0}, {8, 8}}, {{-1, 30}, {0, 8}}, {{5, 3}, {5, 5}}, {{5, -4}, {5, 8}}};
    for (const auto& [given, expected] : trims) {
        SCOPED_TRACE(::testing::PrintToString(given));
        std::tie(document.trimStart, document.trimEnd) = given;
        const auto trimmed = resolveComposition(document);
        EXPECT_EQ(std::pair(trimmed.trimStart, trimmed.trimEnd), expected);
    }
}

TEST(CompositionMapping, InclusiveSpansFirstMatchAndGaps) {
    ResolvedLayer layer;
    layer.spans = {{1, 3, 10, 12, 0}, {3, 5, 20, 22, 3}, {6, 7, 30, 30.5, 5}};
    EXPECT_FALSE(layerMapping(layer, 0.5));  // before the first span
    const auto touching = layerMapping(layer, 3);
    ASSERT_TRUE(touching);
    EXPECT_EQ(*touching, (ResolvedLayer::Mapping{0, 12, 1, 3}));
    EXPECT_EQ(layerMapping(layer, 4)->spanIndex, 1u);
    EXPECT_EQ(layerMapping(layer, 4)->sourceTime, 21);
    EXPECT_FALSE(layerMapping(layer, 5.5));  // head gap
    // A span whose source is shorter than its range holds its last source time.
    EXPECT_EQ(layerMapping(layer, 7)->sourceTime, 30.5);
    EXPECT_FALSE(layerMapping(layer, 7.01));
    EXPECT_FALSE(layerMapping(ResolvedLayer{}, 0));

    // A span cut before its start (end below start) maps nothing inside it but keeps its source start.
    ResolvedLayer cut;
    cut.spans = {{0, 2, 0, 2, 0}, {4, 3, 5, 4, 2}};
    EXPECT_FALSE(layerMapping(cut, 3.5));
    EXPECT_EQ(layerMapping(cut, 2)->spanIndex, 0u);
}

TEST(ClipsFromResolvedScreenLayer, AgreeWithTheClipsExceptForNormalisedValues) {
    EXPECT_TRUE(clipsFromResolvedScreenLayer({}).empty());

    const std::vector<Clip> consistent = {clip(0, 5), clip(10, 12, 1), clip(2, 3, 0.25)};
    EXPECT_EQ(clipsFromResolvedScreenLayer(consistent), consistent);

    const std::vector<Clip> odd = {clip(0, 5, -1), clip(9, 7, 2), clip(1, 2)};
    // A negative head gap is floored and a reversed clip collapses onto its start; ids are kept.
    auto expected = odd;
    expected[0].headOffset = 0;
    expected[1].sourceEnd = 9;
    EXPECT_EQ(clipsFromResolvedScreenLayer(odd), expected);
}

}  // namespace
}  // namespace orvane
