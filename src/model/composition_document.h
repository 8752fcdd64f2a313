#pragma once

// The layered description of one recording's edit written to composition.json: the media files
// used (assets), content layers that place them on the composition timeline through segments, and
// modifier layers (zoom, mute, annotation) that act over a range or at an instant. It is rebuilt
// from the clip list on every save and never read back to load an editor.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/uuid.h"
#include "base/geometry.h"

namespace orvane {

// Raw values equal the case names.
enum class AssetKind {
    screen,
    camera,
    microphone,
    systemAudio,
    cursorTrack,
    importedVideo,
    importedImage,
    generatedVoiceover,
    music
};
std::string_view rawValue(AssetKind kind);
std::optional<AssetKind> assetKindFromRaw(std::string_view raw);

// Raw values equal the case names.
enum class AssetOrigin { captured, imported, agentGenerated, aiGenerated };
std::string_view rawValue(AssetOrigin origin);
std::optional<AssetOrigin> assetOriginFromRaw(std::string_view raw);

// Raw values equal the case names, in this order. The first seven are content kinds (they place an
// asset through segments); zoom, mute and annotation are modifiers (no spans).
enum class LayerKind {
    screen,
    camera,
    audio,
    videoOverlay,
    imageOverlay,
    captionTrack,
    cursorOverlay,
    zoom,
    mute,
    annotation
};
inline constexpr std::array kAllLayerKinds = {LayerKind::screen,       LayerKind::camera,       LayerKind::audio,
                                              LayerKind::videoOverlay, LayerKind::imageOverlay, LayerKind::captionTrack,
                                              LayerKind::cursorOverlay, LayerKind::zoom,        LayerKind::mute,
                                              LayerKind::annotation};
std::string_view rawValue(LayerKind kind);
std::optional<LayerKind> layerKindFromRaw(std::string_view raw);
bool isModifierKind(LayerKind kind);

// One media file of the recording folder.
struct Asset {
    Uuid id = Uuid::random();
    AssetKind kind = AssetKind::screen;
    std::string fileRef;  // relative to the recording folder
    AssetOrigin origin = AssetOrigin::captured;
    double captureStart = 0;  // offset in the capture clock; 0 for the screen video
    double intrinsicDuration = 0;
    std::optional<Size> pixelSize;
    std::optional<double> sampleRate;

    bool operator==(const Asset&) const = default;
};

// A source range of the layer's asset, placed after its own head gap, exactly like a Clip.
struct Segment {
    double sourceStart = 0;
    double sourceEnd = 0;
    double headOffset = 0;

    bool operator==(const Segment&) const = default;
};

struct TimePlacement {
    std::vector<Segment> segments;

    bool operator==(const TimePlacement&) const = default;
};

// Per-kind properties; a field is only meaningful for the kinds that use it. Absent equals only absent.
struct LayerProps {
    std::optional<Rect> normalizedFrame;
    std::optional<double> cornerRadius;
    std::optional<bool> mirrored;
    std::optional<double> rotationRadians;
    std::optional<Rect> sourceCropRect;
    std::optional<std::string> borderStyle;  // a BorderStyle case name
    std::optional<float> volume;
    std::optional<std::string> label;
    std::optional<double> timeRangeStart;  // zoom and mute modifiers
    std::optional<double> timeRangeEnd;
    std::optional<double> scale;  // zoom modifier
    std::optional<double> focusX;
    std::optional<double> focusY;
    std::optional<bool> followCursor;
    std::optional<double> easeSpeed;
    std::optional<double> time;  // annotation modifier
    std::optional<double> cx;
    std::optional<double> cy;
    std::optional<std::string> color;  // AnnotationColor raw value
    std::optional<std::string> cursorVisualStyle;
    std::optional<std::string> cursorClickAnimationStyle;
    std::optional<std::string> cursorIconSymbol;
    std::optional<bool> showCursorRing;
    std::optional<std::string> cursorRingStyle;  // ring preset name

    bool operator==(const LayerProps&) const = default;
};

struct Layer {
    Uuid id = Uuid::random();
    LayerKind kind = LayerKind::screen;
    std::optional<Uuid> assetRef;  // none for modifiers
    TimePlacement placement;
    std::int64_t z = 0;  // stacking order, 0 for the screen
    bool enabled = true;
    LayerProps props;

    bool operator==(const Layer&) const = default;
};

struct CompositionDocument {
    std::int64_t schemaVersion = 1;
    std::int64_t version = 1;
    Uuid recordingID;
    std::vector<Asset> assets;
    std::vector<Layer> layers;  // document order, not sorted by z
    double trimStart = 0;
    double trimEnd = 0;  // 0 or less means the end of the composition

    bool operator==(const CompositionDocument&) const = default;
};

}  // namespace orvane
