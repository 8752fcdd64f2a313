#pragma once

// Resolving a composition document into composition-time spans, and building the document the
// editor saves. The resolver must agree exactly with the clip mapping (time_mapping.h); the
// composition audit checks that after every save.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/clip.h"
#include "model/composition_document.h"

namespace orvane {

struct ResolvedLayer {
    // Where one segment landed. headGapStart is the end of the previous span (0 for the first),
    // i.e. where the head gap before this span begins.
    struct Span {
        double compositionStart = 0;
        double compositionEnd = 0;
        double sourceStart = 0;
        double sourceEnd = 0;
        double headGapStart = 0;

        bool operator==(const Span&) const = default;
    };

    struct Mapping {
        std::size_t spanIndex = 0;
        double sourceTime = 0;
        double compositionStart = 0;
        double compositionEnd = 0;

        bool operator==(const Mapping&) const = default;
    };

    Uuid id;
    LayerKind kind = LayerKind::screen;
    std::optional<Uuid> assetRef;
    std::int64_t z = 0;
    bool enabled = true;
    LayerProps props;
    std::vector<Span> spans;  // empty for modifiers

    bool operator==(const ResolvedLayer&) const = default;
};

struct ResolvedModifier {
    Uuid id;
    LayerKind kind = LayerKind::zoom;
    double compositionStart = 0;
    double compositionEnd = 0;
    LayerProps props;
    bool enabled = true;

    bool operator==(const ResolvedModifier&) const = default;
};

struct ResolvedComposition {
    double duration = 0;
    std::vector<ResolvedLayer> layers;        // one per document layer, document order
    std::vector<ResolvedModifier> modifiers;  // one per modifier layer, document order
    double contentLimit = 0;
    double trimStart = 0;  // clamped into 0...duration
    double trimEnd = 0;

    // The first layer of that kind, or nullptr.
    const ResolvedLayer* firstLayer(LayerKind kind) const;
};

// The timeline length a layer occupies: its segments, each cut to the asset's length (an infinite
// asset when the layer names none or an unknown one), with their head gaps.
double layerDuration(const Layer& layer, const CompositionDocument& document);

// The shortest duration among enabled content layers that have an asset and segments, so no layer
// shows past the point where another runs out of media. +infinity when no layer qualifies.
double contentLimit(const CompositionDocument& document);

// The spans of a content layer, cut at `limit`; modifiers have none. A span can end before it
// starts when the limit falls before it.
std::vector<ResolvedLayer::Span> layerSpans(const Layer& layer, const CompositionDocument& document, double limit);

ResolvedComposition resolveComposition(const CompositionDocument& document);

// The first span (in order) whose inclusive range holds t; nothing in a head gap, before the first
// span or after the last.
std::optional<ResolvedLayer::Mapping> layerMapping(const ResolvedLayer& layer, double time);

// The document of the editor's current edit: one captured screen asset (named by the last path
// component of `screenVideo`) and one screen layer with a segment per clip (head offsets floored at
// 0), or a single segment over the whole duration when there are no clips. Fresh asset and layer ids.
CompositionDocument buildCompositionDocument(const Uuid& recordingID, std::span<const Clip> clips,
                                             const std::filesystem::path& screenVideo, double duration,
                                             double trimStart, double trimEnd);

// The clip list as the resolved screen layer sees it: each clip keeps its id and file and takes the
// span's source range and head gap. Equal to the input except that negative head offsets become 0
// and reversed clips become empty. The input comes back unchanged when it is empty or the span
// count does not match.
std::vector<Clip> clipsFromResolvedScreenLayer(std::span<const Clip> clips);

}  // namespace orvane
