#include "model/timeline_json.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "model/json_fields.h"

namespace orvane {

using nlohmann::json;

json toJson(const Clip& clip) {
    return json{{"id", clip.id.string()},
                {"sourceFile", clip.sourceFile},
                {"sourceStart", clip.sourceStart},
                {"sourceEnd", clip.sourceEnd},
                {"headOffset", clip.headOffset}};
}

std::optional<Clip> clipFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "Clip");
    Clip clip;
    clip.id = fields.uuid("id");
    clip.sourceFile = fields.string("sourceFile");
    clip.sourceStart = fields.number("sourceStart");
    clip.sourceEnd = fields.number("sourceEnd");
    clip.headOffset = fields.number("headOffset");
    fields.report(error);
    if (!fields.ok()) return std::nullopt;
    return clip;
}

json toJson(const SpeedRamp& ramp) {
    return json{{"id", ramp.id.string()}, {"start", ramp.start}, {"end", ramp.end}, {"speed", ramp.speed}};
}

std::optional<SpeedRamp> speedRampFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "SpeedRamp");
    SpeedRamp ramp;
    ramp.id = fields.uuid("id");
    ramp.start = fields.number("start");
    ramp.end = fields.number("end");
    ramp.speed = fields.number("speed");
    fields.report(error);
    if (!fields.ok()) return std::nullopt;
    return ramp;
}

json toJson(const CursorStyleOverride& override) {
    json object{{"id", override.id.string()},
                {"startTime", override.startTime},
                {"endTime", override.endTime},
                {"visualStyle", rawValue(override.visualStyle)},
                {"iconSymbol", override.iconSymbol}};
    if (override.ringStyleName) object["ringStyleName"] = *override.ringStyleName;
    return object;
}

std::optional<CursorStyleOverride> cursorStyleOverrideFromJson(const json& object, std::string* error) {
    detail::JsonFields fields(object, "CursorStyleOverride");
    CursorStyleOverride override;
    override.id = fields.uuid("id");
    override.startTime = fields.number("startTime");
    override.endTime = fields.number("endTime");
    const auto style = fields.string("visualStyle");
    if (fields.ok()) {
        if (const auto parsed = cursorVisualStyleFromRaw(style)) {
            override.visualStyle = *parsed;
        } else {
            fields.failKey("visualStyle", "has an unknown value \"" + style + "\"");
        }
    }
    override.iconSymbol = fields.string("iconSymbol");
    override.ringStyleName = fields.optionalString("ringStyleName");
    fields.report(error);
    if (!fields.ok()) return std::nullopt;
    return override;
}

json toJson(const BorderStyle& style) {
    json value = json::object();
    if (const auto color = style.color()) {
        value = json{{"red", color->red}, {"green", color->green}, {"blue", color->blue}, {"alpha", color->alpha}};
    }
    return json{{std::string(caseName(style.kind())), std::move(value)}};
}

std::optional<BorderStyle> borderStyleFromJson(const json& object, std::string* error) {
    detail::JsonFields outer(object, "BorderStyle");
    if (outer.ok() && object.size() != 1) outer.fail("expected exactly one key, found " + std::to_string(object.size()));
    if (!outer.ok()) {
        outer.report(error);
        return std::nullopt;
    }
    const auto only = object.begin();
    const std::string& name = only.key();
    const json& value = only.value();
    const auto kind = borderStyleCaseFromName(name);
    if (!kind) {
        outer.fail("unknown case \"" + name + "\"");
        outer.report(error);
        return std::nullopt;
    }
    detail::JsonFields inner(value, "BorderStyle." + name);
    std::optional<BorderStyle> style;
    if (*kind == BorderStyle::Case::colored) {
        const double red = inner.number("red");
        const double green = inner.number("green");
        const double blue = inner.number("blue");
        const double alpha = inner.number("alpha");
        style = BorderStyle::colored(red, green, blue, alpha);
    } else {
        style = BorderStyle::plain(*kind);
    }
    inner.report(error);
    if (!inner.ok()) return std::nullopt;
    return style;
}

namespace {

// The first of the spellings that holds a value of the wanted kind.
template <typename T, typename Test>
std::optional<T> looseValue(const json& object, std::initializer_list<const char*> keys, Test isKind) {
    const auto& members = object.get_ref<const json::object_t&>();
    for (const char* key : keys) {
        const auto found = members.find(key);
        if (found != members.end() && isKind(found->second)) return found->second.get<T>();
    }
    return std::nullopt;
}

std::optional<double> looseNumber(const json& object, std::initializer_list<const char*> keys) {
    return looseValue<double>(object, keys, [](const json& v) { return v.is_number(); });
}

std::optional<bool> looseBoolean(const json& object, std::initializer_list<const char*> keys) {
    return looseValue<bool>(object, keys, [](const json& v) { return v.is_boolean(); });
}

std::optional<std::string> looseString(const json& object, std::initializer_list<const char*> keys) {
    return looseValue<std::string>(object, keys, [](const json& v) { return v.is_string(); });
}

// Keeps a sender's id so later edits can refer to the same item; anything else gets a fresh one.
Uuid idOrFresh(const json& object) {
    if (const auto text = looseString(object, {"id"})) {
        if (const auto parsed = Uuid::parse(*text)) return *parsed;
    }
    return Uuid::random();
}

}  // namespace

std::optional<ZoomRegion> zoomRegionFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto start = looseNumber(object, {"start"});
    const auto end = looseNumber(object, {"end"});
    const auto scale = looseNumber(object, {"scale"});
    if (!start || !end || !scale) return std::nullopt;
    ZoomRegion zoom;
    zoom.start = *start;
    zoom.end = *end;
    zoom.scale = std::clamp(*scale, 1.0, kMaximumZoomScale);
    zoom.focusX = looseNumber(object, {"x", "focusX"}).value_or(0.5);
    zoom.focusY = looseNumber(object, {"y", "focusY"}).value_or(0.5);
    zoom.followCursor = looseBoolean(object, {"follow_cursor", "followCursor"}).value_or(false);
    zoom.easeSpeed = looseNumber(object, {"ease_speed", "easeSpeed"}).value_or(0.5);
    return zoom;
}

std::optional<SpeedRamp> speedRampFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto start = looseNumber(object, {"start"});
    const auto end = looseNumber(object, {"end"});
    const auto speed = looseNumber(object, {"speed"});
    if (!start || !end || !speed || !(*start < *end)) return std::nullopt;
    SpeedRamp ramp;
    ramp.start = *start;
    ramp.end = *end;
    ramp.speed = std::clamp(*speed, kMinimumRampSpeed, kMaximumRampSpeed);
    return ramp;
}

std::optional<MuteRegion> muteRegionFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto start = looseNumber(object, {"start"});
    const auto end = looseNumber(object, {"end"});
    if (!start || !end) return std::nullopt;
    MuteRegion mute;
    mute.start = *start;
    mute.end = *end;
    return mute;
}

std::optional<ClickAnnotation> clickAnnotationFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto time = looseNumber(object, {"time"});
    const auto cx = looseNumber(object, {"cx"});
    const auto cy = looseNumber(object, {"cy"});
    if (!time || !cx || !cy) return std::nullopt;
    ClickAnnotation annotation;
    annotation.id = idOrFresh(object);
    annotation.time = *time;
    annotation.cx = *cx;
    annotation.cy = *cy;
    annotation.label = looseString(object, {"label"}).value_or("");
    const auto color = looseString(object, {"color"});
    annotation.color = (color ? annotationColorFromRaw(*color) : std::nullopt).value_or(AnnotationColor::accent);
    annotation.enabled = looseBoolean(object, {"enabled"}).value_or(true);
    return annotation;
}

std::optional<CursorInteraction> cursorInteractionFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto kindText = looseString(object, {"kind"});
    const auto kind = kindText ? cursorInteractionKindFromRaw(*kindText) : std::nullopt;
    const auto startTime = looseNumber(object, {"start_time", "startTime"});
    const auto endTime = looseNumber(object, {"end_time", "endTime"});
    const auto startX = looseNumber(object, {"start_x", "startX"});
    const auto startY = looseNumber(object, {"start_y", "startY"});
    const auto endX = looseNumber(object, {"end_x", "endX"});
    const auto endY = looseNumber(object, {"end_y", "endY"});
    if (!kind || !startTime || !endTime || !startX || !startY || !endX || !endY) return std::nullopt;
    return CursorInteraction{idOrFresh(object), *kind, *startTime, *endTime, *startX, *startY, *endX, *endY};
}

std::optional<CursorStyleOverride> cursorStyleOverrideFromRemoteJson(const json& object) {
    auto override = cursorStyleOverrideFromJson(object);
    if (!override) return std::nullopt;
    override->id = Uuid::random();
    override->iconSymbol = normalizedCursorIconSymbol(override->iconSymbol);
    return override;
}

std::optional<Rect> rectFromLooseJson(const json& object) {
    if (!object.is_object()) return std::nullopt;
    const auto x = looseNumber(object, {"x"});
    const auto y = looseNumber(object, {"y"});
    const auto width = looseNumber(object, {"width"});
    const auto height = looseNumber(object, {"height"});
    if (!x || !y || !width || !height) return std::nullopt;
    return Rect{*x, *y, *width, *height};
}

}  // namespace orvane
