#include "model/composition_resolver.h"

#include <algorithm>
#include <limits>

namespace orvane {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The smallest duration a built document claims, so an empty recording still has a screen span.
constexpr double kMinimumDocumentDuration = 0.001;

// The asset's length, or +infinity when the layer names no asset or one that does not exist.
double assetLength(const Layer& layer, const CompositionDocument& document) {
    if (!layer.assetRef) return kInfinity;
    for (const auto& asset : document.assets) {
        if (asset.id == *layer.assetRef) return asset.intrinsicDuration;
    }
    return kInfinity;
}

// The segment's source length once its end is cut to the asset; negative when reversed.
double cutSourceLength(const Segment& segment, double assetLength) {
    return std::min(segment.sourceEnd, std::max(assetLength, segment.sourceStart)) - segment.sourceStart;
}

}  // namespace

const ResolvedLayer* ResolvedComposition::firstLayer(LayerKind kind) const {
    for (const auto& layer : layers) {
        if (layer.kind == kind) return &layer;
    }
    return nullptr;
}

double layerDuration(const Layer& layer, const CompositionDocument& document) {
    const double length = assetLength(layer, document);
    double total = 0;
    for (const auto& segment : layer.placement.segments) {
        total += std::max(segment.headOffset, 0.0) + std::max(cutSourceLength(segment, length), 0.0);
    }
    return total;
}

double contentLimit(const CompositionDocument& document) {
    double limit = kInfinity;
    for (const auto& layer : document.layers) {
        if (!layer.enabled || isModifierKind(layer.kind) || !layer.assetRef || layer.placement.segments.empty()) {
            continue;
        }
        limit = std::min(limit, layerDuration(layer, document));
    }
    return limit;
}

std::vector<ResolvedLayer::Span> layerSpans(const Layer& layer, const CompositionDocument& document, double limit) {
    std::vector<ResolvedLayer::Span> spans;
    if (isModifierKind(layer.kind)) return spans;
    const double length = assetLength(layer, document);
    spans.reserve(layer.placement.segments.size());
    double cursor = 0;
    for (const auto& segment : layer.placement.segments) {
        const double start = cursor + std::max(segment.headOffset, 0.0);
        const double sourceLength = cutSourceLength(segment, length);
        const double end = sourceLength >= 0 ? start + sourceLength : start;
        const double cutEnd = std::min(end, limit);
        spans.push_back({start, cutEnd, segment.sourceStart, segment.sourceStart + (cutEnd - start), cursor});
        cursor = cutEnd;
    }
    return spans;
}

ResolvedComposition resolveComposition(const CompositionDocument& document) {
    ResolvedComposition resolved;
    const double limit = contentLimit(document);

    double duration = 0;
    resolved.layers.reserve(document.layers.size());
    for (const auto& layer : document.layers) {
        ResolvedLayer out;
        out.id = layer.id;
        out.kind = layer.kind;
        out.assetRef = layer.assetRef;
        out.z = layer.z;
        out.enabled = layer.enabled;
        out.props = layer.props;
        out.spans = layerSpans(layer, document, limit);
        for (const auto& span : out.spans) duration = std::max(duration, span.compositionEnd);
        resolved.layers.push_back(std::move(out));
    }
    resolved.duration = duration;

    for (const auto& layer : document.layers) {
        if (!isModifierKind(layer.kind)) continue;
        ResolvedModifier modifier;
        modifier.id = layer.id;
        modifier.kind = layer.kind;
        modifier.props = layer.props;
        modifier.enabled = layer.enabled;
        if (layer.kind == LayerKind::annotation) {
            const double instant = !layer.props.time ? 0.0
                                   : *layer.props.time > duration ? std::max(duration, 0.0)
                                                                   : std::max(*layer.props.time, 0.0);
            modifier.compositionStart = instant;
            modifier.compositionEnd = instant;
        } else {
            const double start = layer.props.timeRangeStart.value_or(0);
            const double end = layer.props.timeRangeEnd.value_or(start);
            modifier.compositionStart = std::max(std::min(duration, start), 0.0);
            modifier.compositionEnd = std::max(std::min(duration, end), modifier.compositionStart);
        }
        resolved.modifiers.push_back(std::move(modifier));
    }

    resolved.contentLimit = limit < kInfinity ? limit : duration;
    resolved.trimStart = std::max(std::min(duration, document.trimStart), 0.0);
    resolved.trimEnd = document.trimEnd <= 0 ? duration
                                             : std::max(std::min(duration, document.trimEnd), resolved.trimStart);
    return resolved;
}

std::optional<ResolvedLayer::Mapping> layerMapping(const ResolvedLayer& layer, double time) {
    for (std::size_t index = 0; index < layer.spans.size(); ++index) {
        const auto& span = layer.spans[index];
        if (span.compositionStart > time) return std::nullopt;  // before the first span or in a head gap
        if (span.compositionEnd >= time) {
            const double offset =
                std::max(std::min(time - span.compositionStart, span.sourceEnd - span.sourceStart), 0.0);
            return ResolvedLayer::Mapping{index, span.sourceStart + offset, span.compositionStart, span.compositionEnd};
        }
    }
    return std::nullopt;
}

CompositionDocument buildCompositionDocument(const Uuid& recordingID, std::span<const Clip> clips,
                                             const std::filesystem::path& screenVideo, double duration,
                                             double trimStart, double trimEnd) {
    double length = duration;
    for (const auto& clip : clips) length = std::max(length, clip.sourceEnd);
    length = std::max(length, kMinimumDocumentDuration);

    Asset asset;
    asset.kind = AssetKind::screen;
    asset.fileRef = screenVideo.filename().string();
    asset.origin = AssetOrigin::captured;
    asset.captureStart = 0;
    asset.intrinsicDuration = length;

    Layer layer;
    layer.kind = LayerKind::screen;
    layer.assetRef = asset.id;
    layer.z = 0;
    layer.enabled = true;
    for (const auto& clip : clips) {
        layer.placement.segments.push_back({clip.sourceStart, clip.sourceEnd, std::max(clip.headOffset, 0.0)});
    }
    if (clips.empty()) layer.placement.segments.push_back({0, length, 0});

    CompositionDocument document;
    document.schemaVersion = 1;
    document.version = 1;
    document.recordingID = recordingID;
    document.assets.push_back(std::move(asset));
    document.layers.push_back(std::move(layer));
    document.trimStart = trimStart;
    document.trimEnd = trimEnd;
    return document;
}

std::vector<Clip> clipsFromResolvedScreenLayer(std::span<const Clip> clips) {
    std::vector<Clip> original(clips.begin(), clips.end());
    if (clips.empty()) return original;

    double duration = 0;
    for (const auto& clip : clips) duration = std::max(duration, clip.sourceEnd);
    const auto document = buildCompositionDocument(Uuid::random(), clips, clips.front().sourceFile,
                                                   std::max(duration, kMinimumDocumentDuration), 0, 0);
    const auto resolved = resolveComposition(document);
    const auto* screen = resolved.firstLayer(LayerKind::screen);
    if (!screen || screen->spans.size() != clips.size()) return original;

    std::vector<Clip> result;
    result.reserve(clips.size());
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const auto& span = screen->spans[i];
        Clip clip = clips[i];  // keeps id and sourceFile
        clip.sourceStart = span.sourceStart;
        clip.sourceEnd = span.sourceEnd;
        clip.headOffset = std::max(span.compositionStart - span.headGapStart, 0.0);
        result.push_back(std::move(clip));
    }
    return result;
}

}  // namespace orvane
