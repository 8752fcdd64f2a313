#include "model/composition_json.h"

#include <charconv>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/json_depth.h"
#include "model/geometry_json.h"
#include "model/json_fields.h"

namespace orvane {

using nlohmann::json;

namespace {

// A 32-bit gain is written as its own shortest decimal (0.8, not 0.800000011920929), so the file
// reads the way the value was entered.
double floatForJson(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    *result.ptr = '\0';
    return std::strtod(buffer, nullptr);
}

template <typename T>
void putIfPresent(json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

void putRectIfPresent(json& object, const char* key, const std::optional<Rect>& value) {
    if (value) object[key] = rectToJson(*value);
}

json propsToJson(const LayerProps& props) {
    json object = json::object();
    putRectIfPresent(object, "normalizedFrame", props.normalizedFrame);
    putIfPresent(object, "cornerRadius", props.cornerRadius);
    putIfPresent(object, "mirrored", props.mirrored);
    putIfPresent(object, "rotationRadians", props.rotationRadians);
    putRectIfPresent(object, "sourceCropRect", props.sourceCropRect);
    putIfPresent(object, "borderStyle", props.borderStyle);
    if (props.volume) object["volume"] = floatForJson(*props.volume);
    putIfPresent(object, "label", props.label);
    putIfPresent(object, "timeRangeStart", props.timeRangeStart);
    putIfPresent(object, "timeRangeEnd", props.timeRangeEnd);
    putIfPresent(object, "scale", props.scale);
    putIfPresent(object, "focusX", props.focusX);
    putIfPresent(object, "focusY", props.focusY);
    putIfPresent(object, "followCursor", props.followCursor);
    putIfPresent(object, "easeSpeed", props.easeSpeed);
    putIfPresent(object, "time", props.time);
    putIfPresent(object, "cx", props.cx);
    putIfPresent(object, "cy", props.cy);
    putIfPresent(object, "color", props.color);
    putIfPresent(object, "cursorVisualStyle", props.cursorVisualStyle);
    putIfPresent(object, "cursorClickAnimationStyle", props.cursorClickAnimationStyle);
    putIfPresent(object, "cursorIconSymbol", props.cursorIconSymbol);
    putIfPresent(object, "showCursorRing", props.showCursorRing);
    putIfPresent(object, "cursorRingStyle", props.cursorRingStyle);
    return object;
}

json assetToJson(const Asset& asset) {
    json object{{"id", asset.id.string()},
                {"kind", rawValue(asset.kind)},
                {"fileRef", asset.fileRef},
                {"origin", rawValue(asset.origin)},
                {"captureStart", asset.captureStart},
                {"intrinsicDuration", asset.intrinsicDuration}};
    if (asset.pixelSize) object["pixelSize"] = sizeToJson(*asset.pixelSize);
    putIfPresent(object, "sampleRate", asset.sampleRate);
    return object;
}

json layerToJson(const Layer& layer) {
    json segments = json::array();
    for (const auto& segment : layer.placement.segments) {
        segments.push_back(json{{"sourceStart", segment.sourceStart},
                                {"sourceEnd", segment.sourceEnd},
                                {"headOffset", segment.headOffset}});
    }
    json object{{"id", layer.id.string()},
                {"kind", rawValue(layer.kind)},
                {"placement", json{{"segments", std::move(segments)}}},
                {"z", layer.z},
                {"enabled", layer.enabled},
                {"props", propsToJson(layer.props)}};
    if (layer.assetRef) object["assetRef"] = layer.assetRef->string();
    return object;
}

// Reads an enumeration stored as its raw string; an unknown value is an error.
template <typename E, typename Parse>
E enumField(detail::JsonFields& fields, const char* key, Parse parse, E fallback) {
    const auto raw = fields.string(key);
    if (!fields.ok()) return fallback;
    const auto value = parse(raw);
    if (!value) {
        fields.failKey(key, "has an unknown value \"" + raw + "\"");
        return fallback;
    }
    return *value;
}

std::optional<Rect> optionalRectField(detail::JsonFields& fields, const char* key) {
    const auto* value = fields.find(key);
    if (!value) return std::nullopt;
    auto rect = rectFromJson(*value);
    if (!rect) fields.failKey(key, "is not a rectangle [[x, y], [width, height]]");
    return rect;
}

LayerProps propsFromJson(detail::JsonFields& fields) {
    LayerProps props;
    props.normalizedFrame = optionalRectField(fields, "normalizedFrame");
    props.cornerRadius = fields.optionalNumber("cornerRadius");
    props.mirrored = fields.optionalBoolean("mirrored");
    props.rotationRadians = fields.optionalNumber("rotationRadians");
    props.sourceCropRect = optionalRectField(fields, "sourceCropRect");
    props.borderStyle = fields.optionalString("borderStyle");
    if (const auto volume = fields.optionalNumber("volume")) props.volume = static_cast<float>(*volume);
    props.label = fields.optionalString("label");
    props.timeRangeStart = fields.optionalNumber("timeRangeStart");
    props.timeRangeEnd = fields.optionalNumber("timeRangeEnd");
    props.scale = fields.optionalNumber("scale");
    props.focusX = fields.optionalNumber("focusX");
    props.focusY = fields.optionalNumber("focusY");
    props.followCursor = fields.optionalBoolean("followCursor");
    props.easeSpeed = fields.optionalNumber("easeSpeed");
    props.time = fields.optionalNumber("time");
    props.cx = fields.optionalNumber("cx");
    props.cy = fields.optionalNumber("cy");
    props.color = fields.optionalString("color");
    props.cursorVisualStyle = fields.optionalString("cursorVisualStyle");
    props.cursorClickAnimationStyle = fields.optionalString("cursorClickAnimationStyle");
    props.cursorIconSymbol = fields.optionalString("cursorIconSymbol");
    props.showCursorRing = fields.optionalBoolean("showCursorRing");
    props.cursorRingStyle = fields.optionalString("cursorRingStyle");
    return props;
}

std::optional<Asset> assetFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "Asset");
    Asset asset;
    asset.id = fields.uuid("id");
    asset.kind = enumField(fields, "kind", assetKindFromRaw, AssetKind::screen);
    asset.fileRef = fields.string("fileRef");
    asset.origin = enumField(fields, "origin", assetOriginFromRaw, AssetOrigin::captured);
    asset.captureStart = fields.number("captureStart");
    asset.intrinsicDuration = fields.number("intrinsicDuration");
    if (const auto* size = fields.find("pixelSize")) {
        asset.pixelSize = sizeFromJson(*size);
        if (!asset.pixelSize) fields.failKey("pixelSize", "is not a size [width, height]");
    }
    asset.sampleRate = fields.optionalNumber("sampleRate");
    fields.report(error);
    if (!fields.ok()) return std::nullopt;
    return asset;
}

std::optional<Segment> segmentFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "Segment");
    Segment segment;
    segment.sourceStart = fields.number("sourceStart");
    segment.sourceEnd = fields.number("sourceEnd");
    segment.headOffset = fields.number("headOffset");
    fields.report(error);
    if (!fields.ok()) return std::nullopt;
    return segment;
}

std::optional<Layer> layerFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "Layer");
    Layer layer;
    layer.id = fields.uuid("id");
    layer.kind = enumField(fields, "kind", layerKindFromRaw, LayerKind::screen);
    layer.assetRef = fields.optionalUuid("assetRef");
    layer.z = fields.integer("z");
    layer.enabled = fields.boolean("enabled");
    const auto* placement = fields.required("placement");
    const auto* props = fields.required("props");
    if (!fields.ok()) {
        fields.report(error);
        return std::nullopt;
    }

    detail::JsonFields placementFields(*placement, "TimePlacement");
    const auto* segments = placementFields.required("segments");
    if (segments && !segments->is_array()) placementFields.failKey("segments", "is not an array");
    if (!placementFields.ok()) {
        placementFields.report(error);
        return std::nullopt;
    }
    for (const auto& item : *segments) {
        auto segment = segmentFromJson(item, error);
        if (!segment) return std::nullopt;
        layer.placement.segments.push_back(*segment);
    }

    detail::JsonFields propsFields(*props, "LayerProps");
    layer.props = propsFromJson(propsFields);
    propsFields.report(error);
    if (!propsFields.ok()) return std::nullopt;
    return layer;
}

}  // namespace

std::string encodeCompositionDocument(const CompositionDocument& document) {
    json assets = json::array();
    for (const auto& asset : document.assets) assets.push_back(assetToJson(asset));
    json layers = json::array();
    for (const auto& layer : document.layers) layers.push_back(layerToJson(layer));
    // nlohmann::json keeps object keys sorted, which is the order this file is written in.
    const json object{{"schemaVersion", document.schemaVersion},
                      {"version", document.version},
                      {"recordingID", document.recordingID.string()},
                      {"assets", std::move(assets)},
                      {"layers", std::move(layers)},
                      {"trimStart", document.trimStart},
                      {"trimEnd", document.trimEnd}};
    return object.dump(2);
}

std::optional<CompositionDocument> decodeCompositionDocument(std::string_view text, std::string* error) {
    bool tooDeep = false;
    const json object = parseJsonWithinDepth<json>(text, kMaximumJsonDepth, &tooDeep);
    if (tooDeep) {
        if (error) *error = "CompositionDocument: nested deeper than " + std::to_string(kMaximumJsonDepth) + " levels";
        return std::nullopt;
    }
    if (object.is_discarded()) {
        if (error) *error = "CompositionDocument: not valid JSON";
        return std::nullopt;
    }
    detail::JsonFields fields(object, "CompositionDocument");
    CompositionDocument document;
    document.schemaVersion = fields.integer("schemaVersion");
    document.version = fields.integer("version");
    document.recordingID = fields.uuid("recordingID");
    document.trimStart = fields.number("trimStart");
    document.trimEnd = fields.number("trimEnd");
    const auto* assets = fields.required("assets");
    const auto* layers = fields.required("layers");
    if (assets && !assets->is_array()) fields.failKey("assets", "is not an array");
    if (layers && !layers->is_array()) fields.failKey("layers", "is not an array");
    if (!fields.ok()) {
        fields.report(error);
        return std::nullopt;
    }
    for (const auto& item : *assets) {
        auto asset = assetFromJson(item, error);
        if (!asset) return std::nullopt;
        document.assets.push_back(std::move(*asset));
    }
    for (const auto& item : *layers) {
        auto layer = layerFromJson(item, error);
        if (!layer) return std::nullopt;
        document.layers.push_back(std::move(*layer));
    }
    return document;
}

void writeCompositionDocument(const CompositionDocument& document, const std::filesystem::path& recordingFolder) {
    writeFileAtomically(recordingFolder / kCompositionFileName, encodeCompositionDocument(document));
}

}  // namespace orvane
