#include "model/edit_json.h"

#include <charconv>
#include <cstdlib>

#include "model/geometry_json.h"
#include "model/timeline_json.h"

namespace orvane::edit_json {

namespace fs = std::filesystem;

double floatToDouble(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    *result.ptr = '\0';
    return std::strtod(buffer, nullptr);
}

std::optional<BackgroundStyle> parseRaw(std::string_view raw, std::type_identity<BackgroundStyle>) {
    return backgroundStyleFromRaw(raw);
}
std::optional<ExportAspectRatio> parseRaw(std::string_view raw, std::type_identity<ExportAspectRatio>) {
    return exportAspectRatioFromRaw(raw);
}
std::optional<WindowChromeStyle> parseRaw(std::string_view raw, std::type_identity<WindowChromeStyle>) {
    return windowChromeStyleFromRaw(raw);
}
std::optional<CursorVisualStyle> parseRaw(std::string_view raw, std::type_identity<CursorVisualStyle>) {
    return cursorVisualStyleFromRaw(raw);
}
std::optional<CursorClickAnimationStyle> parseRaw(std::string_view raw, std::type_identity<CursorClickAnimationStyle>) {
    return cursorClickAnimationStyleFromRaw(raw);
}
std::optional<AnnotationColor> parseRaw(std::string_view raw, std::type_identity<AnnotationColor>) {
    return annotationColorFromRaw(raw);
}
std::optional<CursorInteraction::Kind> parseRaw(std::string_view raw, std::type_identity<CursorInteraction::Kind>) {
    return cursorInteractionKindFromRaw(raw);
}
std::optional<VideoOverlayClip::MediaKind> parseRaw(std::string_view raw,
                                                    std::type_identity<VideoOverlayClip::MediaKind>) {
    return mediaKindFromRaw(raw);
}
std::optional<AudioEnhancerPreset> parseRaw(std::string_view raw, std::type_identity<AudioEnhancerPreset>) {
    return audioEnhancerPresetFromRaw(raw);
}

// --- Sidecar ----------------------------------------------------------------------------------------

OrderedJson sidecarLeaf(const Uuid& id) { return id.string(); }
OrderedJson sidecarLeaf(const Rect& rect) { return OrderedJson(rectToJson(rect)); }
OrderedJson sidecarLeaf(const Size& size) { return OrderedJson(sizeToJson(size)); }
OrderedJson sidecarLeaf(const CursorRingStyle& style) { return cursorRingStyleName(style); }
OrderedJson sidecarLeaf(const BorderStyle& style) { return OrderedJson(toJson(style)); }

OrderedJson sidecarLeaf(const fs::path& file, const FileContext& files) {
    if (!files.folder.empty() && file.parent_path() == files.folder) return file.filename().string();
    return file.string();
}

namespace {

// Stores a parsed value, or answers `otherwise` when there is none.
template <typename T>
Read assign(std::optional<T> value, T& out, Read otherwise) {
    if (!value) return otherwise;
    out = std::move(*value);
    return Read::ok;
}

}  // namespace

Read readSidecarLeaf(const Json& json, Uuid& out) {
    if (!json.is_string()) return Read::malformed;
    return assign(Uuid::parse(json.get<std::string>()), out, Read::malformed);
}

Read readSidecarLeaf(const Json& json, Rect& out) { return assign(rectFromJson(json), out, Read::malformed); }

Read readSidecarLeaf(const Json& json, Size& out) { return assign(sizeFromJson(json), out, Read::malformed); }

Read readSidecarLeaf(const Json& json, CursorRingStyle& out) {
    if (!json.is_string()) return Read::malformed;
    return assign(cursorRingStyleNamed(json.get<std::string>()), out, Read::unusable);
}

Read readSidecarLeaf(const Json& json, BorderStyle& out) {
    return assign(borderStyleFromJson(json), out, Read::malformed);
}

Read readSidecarLeaf(const Json& json, fs::path& out, const FileContext& files) {
    const fs::path stored(json.get<std::string>());
    std::error_code ignored;
    if (stored.is_absolute() && fs::exists(stored, ignored)) {
        out = stored;
    } else {
        out = files.folder / stored.filename();
    }
    return Read::ok;
}

Read readSidecarLeaf(const Json& json, std::optional<fs::path>& out, const FileContext& files) {
    const auto name = fs::path(json.get<std::string>()).filename();
    if (name.empty()) return Read::unusable;
    const auto candidate = files.folder / name;
    std::error_code ignored;
    if (!fs::exists(candidate, ignored)) return Read::unusable;
    out = candidate;
    return Read::ok;
}

bool acceptLoaded(SpeedRamp& ramp) { return ramp.start < ramp.end; }

bool acceptLoaded(CursorStyleOverride& override) {
    override.iconSymbol = normalizedCursorIconSymbol(override.iconSymbol);
    return override.startTime < override.endTime;
}

bool acceptLoaded(VideoOverlayClip& overlay) {
    overlay = makeVideoOverlayClip(std::move(overlay));
    return true;
}

// --- Payloads ---------------------------------------------------------------------------------------

Json payloadLeaf(const Uuid& id) { return id.string(); }

Json payloadLeaf(const Rect& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

Json payloadLeaf(const Size& size) { return {{"width", size.width}, {"height", size.height}}; }

Json payloadLeaf(const CursorRingStyle& style) {
    return {{"red", style.red},
            {"green", style.green},
            {"blue", style.blue},
            {"alpha", style.opacity},
            {"size", style.size}};
}

Json payloadLeaf(const BorderStyle& style) { return toJson(style); }

Json payloadLeaf(const fs::path& path) { return path.string(); }

// --- Remote edits -----------------------------------------------------------------------------------

Read readRemoteLeaf(const Json& json, Rect& out) { return assign(rectFromLooseJson(json), out, Read::unusable); }

Read readRemoteLeaf(const Json& json, CursorRingStyle& out) {
    if (!json.is_string()) return Read::unusable;
    return assign(cursorRingStyleNamed(json.get<std::string>()), out, Read::unusable);
}

std::optional<ZoomRegion> readRemoteItem(const Json& json, std::type_identity<ZoomRegion>) {
    return zoomRegionFromLooseJson(json);
}
std::optional<MuteRegion> readRemoteItem(const Json& json, std::type_identity<MuteRegion>) {
    return muteRegionFromLooseJson(json);
}
std::optional<SpeedRamp> readRemoteItem(const Json& json, std::type_identity<SpeedRamp>) {
    return speedRampFromLooseJson(json);
}
std::optional<ClickAnnotation> readRemoteItem(const Json& json, std::type_identity<ClickAnnotation>) {
    return clickAnnotationFromLooseJson(json);
}
std::optional<CursorInteraction> readRemoteItem(const Json& json, std::type_identity<CursorInteraction>) {
    return cursorInteractionFromLooseJson(json);
}
std::optional<CursorStyleOverride> readRemoteItem(const Json& json, std::type_identity<CursorStyleOverride>) {
    return cursorStyleOverrideFromRemoteJson(json);
}

}  // namespace orvane::edit_json
