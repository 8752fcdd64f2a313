#include "model/composition_document.h"

#include "model/raw_value_table.h"

namespace orvane {

namespace {

constexpr detail::RawValueTable<AssetKind, 9> kAssetKindRawValues = {{
    {AssetKind::screen, "screen"},
    {AssetKind::camera, "camera"},
    {AssetKind::microphone, "microphone"},
    {AssetKind::systemAudio, "systemAudio"},
    {AssetKind::cursorTrack, "cursorTrack"},
    {AssetKind::importedVideo, "importedVideo"},
    {AssetKind::importedImage, "importedImage"},
    {AssetKind::generatedVoiceover, "generatedVoiceover"},
    {AssetKind::music, "music"},
}};

constexpr detail::RawValueTable<AssetOrigin, 4> kAssetOriginRawValues = {{
    {AssetOrigin::captured, "captured"},
    {AssetOrigin::imported, "imported"},
    {AssetOrigin::agentGenerated, "agentGenerated"},
    {AssetOrigin::aiGenerated, "aiGenerated"},
}};

constexpr detail::RawValueTable<LayerKind, 10> kLayerKindRawValues = {{
    {LayerKind::screen, "screen"},
    {LayerKind::camera, "camera"},
    {LayerKind::audio, "audio"},
    {LayerKind::videoOverlay, "videoOverlay"},
    {LayerKind::imageOverlay, "imageOverlay"},
    {LayerKind::captionTrack, "captionTrack"},
    {LayerKind::cursorOverlay, "cursorOverlay"},
    {LayerKind::zoom, "zoom"},
    {LayerKind::mute, "mute"},
    {LayerKind::annotation, "annotation"},
}};

}  // namespace

std::string_view rawValue(AssetKind kind) { return detail::rawValueIn(kAssetKindRawValues, kind); }
std::optional<AssetKind> assetKindFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kAssetKindRawValues, raw);
}

std::string_view rawValue(AssetOrigin origin) { return detail::rawValueIn(kAssetOriginRawValues, origin); }
std::optional<AssetOrigin> assetOriginFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kAssetOriginRawValues, raw);
}

std::string_view rawValue(LayerKind kind) { return detail::rawValueIn(kLayerKindRawValues, kind); }
std::optional<LayerKind> layerKindFromRaw(std::string_view raw) {
    return detail::valueFromRawIn(kLayerKindRawValues, raw);
}

bool isModifierKind(LayerKind kind) {
    return kind == LayerKind::zoom || kind == LayerKind::mute || kind == LayerKind::annotation;
}

}  // namespace orvane
