#pragma once

// JSON of edit values, field by field from the lists in model/edit_fields.h, in the three forms the
// edit travels in: the project sidecar (strict, file names relative to the recording folder), the
// render-cache payloads (every rendered input, absolute paths, no ids) and remote edits (loose,
// snake_case keys). Brings in nlohmann/json: include it from .cpp files only.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/edit_fields.h"

namespace orvane::edit_json {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};
template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

// Unset optional values are left out of every JSON form.
template <typename T>
bool isPresent(const T& value) {
    if constexpr (IsOptional<T>::value) {
        return value.has_value();
    } else {
        return true;
    }
}

// --- Leaf values ------------------------------------------------------------------------------------

// A float written through double would gain digits (0.15f is 0.15000000596...); its shortest decimal
// form is what the user set.
double floatToDouble(float value);

// Raw values of the edit's enumerations; nothing for an unknown raw value.
std::optional<BackgroundStyle> parseRaw(std::string_view raw, std::type_identity<BackgroundStyle>);
std::optional<ExportAspectRatio> parseRaw(std::string_view raw, std::type_identity<ExportAspectRatio>);
std::optional<WindowChromeStyle> parseRaw(std::string_view raw, std::type_identity<WindowChromeStyle>);
std::optional<CursorVisualStyle> parseRaw(std::string_view raw, std::type_identity<CursorVisualStyle>);
std::optional<CursorClickAnimationStyle> parseRaw(std::string_view raw, std::type_identity<CursorClickAnimationStyle>);
std::optional<AnnotationColor> parseRaw(std::string_view raw, std::type_identity<AnnotationColor>);
std::optional<CursorInteraction::Kind> parseRaw(std::string_view raw, std::type_identity<CursorInteraction::Kind>);
std::optional<VideoOverlayClip::MediaKind> parseRaw(std::string_view raw,
                                                    std::type_identity<VideoOverlayClip::MediaKind>);
std::optional<AudioEnhancerPreset> parseRaw(std::string_view raw, std::type_identity<AudioEnhancerPreset>);

// What reading one value gave: the value, a value of the right JSON type that cannot be used (an
// unknown style name, a file that is not there: the key counts as absent and an item as dropped), or
// a value of the wrong shape, which makes the whole document unreadable.
enum class Read { ok, unusable, malformed };

// Where the sidecar's file references point: files inside the recording folder are written by name,
// so a moved folder keeps working; others by absolute path.
struct FileContext {
    std::filesystem::path folder;
};

OrderedJson sidecarLeaf(const Uuid& id);
OrderedJson sidecarLeaf(const Rect& rect);
OrderedJson sidecarLeaf(const Size& size);
OrderedJson sidecarLeaf(const CursorRingStyle& style);
OrderedJson sidecarLeaf(const BorderStyle& style);
OrderedJson sidecarLeaf(const std::filesystem::path& file, const FileContext& files);

Read readSidecarLeaf(const Json& json, Uuid& out);
Read readSidecarLeaf(const Json& json, Rect& out);
Read readSidecarLeaf(const Json& json, Size& out);
Read readSidecarLeaf(const Json& json, CursorRingStyle& out);
Read readSidecarLeaf(const Json& json, BorderStyle& out);
// A media file of an item: an absolute path that exists is kept; otherwise the name is looked up in
// the recording folder, and a missing file stays referenced there, so the item shows as missing
// rather than vanishing from the edit.
Read readSidecarLeaf(const Json& json, std::filesystem::path& out, const FileContext& files);
// An optional file of the edit (cursor track, background picture): found by its last path component
// in the recording folder; a name that is not there is unusable.
Read readSidecarLeaf(const Json& json, std::optional<std::filesystem::path>& out, const FileContext& files);

Json payloadLeaf(const Uuid& id);
Json payloadLeaf(const Rect& rect);
Json payloadLeaf(const Size& size);
Json payloadLeaf(const CursorRingStyle& style);
Json payloadLeaf(const BorderStyle& style);
Json payloadLeaf(const std::filesystem::path& path);

// Remote edits: a rectangle is {"x", "y", "width", "height"}, a ring style its preset name.
Read readRemoteLeaf(const Json& json, Rect& out);
Read readRemoteLeaf(const Json& json, CursorRingStyle& out);
// Remote list items are read leniently by their own rules; nothing drops the item.
std::optional<ZoomRegion> readRemoteItem(const Json& json, std::type_identity<ZoomRegion>);
std::optional<MuteRegion> readRemoteItem(const Json& json, std::type_identity<MuteRegion>);
std::optional<SpeedRamp> readRemoteItem(const Json& json, std::type_identity<SpeedRamp>);
std::optional<ClickAnnotation> readRemoteItem(const Json& json, std::type_identity<ClickAnnotation>);
std::optional<CursorInteraction> readRemoteItem(const Json& json, std::type_identity<CursorInteraction>);
std::optional<CursorStyleOverride> readRemoteItem(const Json& json, std::type_identity<CursorStyleOverride>);

// Rules an item read from a sidecar must pass; false drops it. Items without rules pass.
bool acceptLoaded(SpeedRamp& ramp);
bool acceptLoaded(CursorStyleOverride& override);
bool acceptLoaded(VideoOverlayClip& overlay);
template <typename T>
bool acceptLoaded(T&) {
    return true;
}

template <typename T>
concept Enumeration = std::is_enum_v<T>;

template <typename T>
void clampNumber(T& value, const FieldTraits& traits) {
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(value)) return;
        if (value < traits.minimum) value = static_cast<T>(traits.minimum);
        if (value > traits.maximum) value = static_cast<T>(traits.maximum);
    }
}

template <typename T>
bool isZero(const T& value) {
    if constexpr (std::is_arithmetic_v<T>) return value == 0;
    return false;
}

// --- Sidecar ----------------------------------------------------------------------------------------

template <typename T>
OrderedJson sidecarValue(const T& value, const FileContext& files);

// An item's record: its saved fields, optional ones left out while empty.
template <HasFields T>
OrderedJson sidecarItem(const T& item, const FileContext& files) {
    OrderedJson object = OrderedJson::object();
    forEachField<T>([&](const auto& field) {
        if (field.traits.saved == Saved::never) return;
        const auto& value = field.of(item);
        if (!isPresent(value)) return;
        object[std::string(field.traits.key)] = sidecarValue(value, files);
    });
    return object;
}

// A saved edit never holds a number that is not finite: JSON has none, and the file would no longer
// read back.
template <typename T>
void requireFinite(T value) {
    if (!std::isfinite(value)) throw std::domain_error("the edit holds a number that is not finite");
}

template <typename T>
OrderedJson sidecarValue(const T& value, const FileContext& files) {
    if constexpr (std::is_floating_point_v<T>) requireFinite(value);
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, double> || std::is_same_v<T, std::string> ||
                  std::is_integral_v<T>) {
        return value;
    } else if constexpr (std::is_same_v<T, float>) {
        return floatToDouble(value);
    } else if constexpr (Enumeration<T>) {
        return std::string(rawValue(value));
    } else if constexpr (std::is_same_v<T, std::filesystem::path>) {
        return sidecarLeaf(value, files);
    } else if constexpr (IsOptional<T>::value) {
        return sidecarValue(*value, files);
    } else if constexpr (IsVector<T>::value) {
        OrderedJson array = OrderedJson::array();
        for (const auto& element : value) array.push_back(sidecarValue(element, files));
        return array;
    } else if constexpr (HasFields<T>) {
        return sidecarItem(value, files);
    } else {
        return sidecarLeaf(value);
    }
}

template <typename T>
Read readSidecarValue(const Json& json, T& out, const FileContext& files, std::string& problem);

// Reads an item's saved fields into `item` (which starts as a default item, so unsaved fields and a
// fresh id keep their defaults). A missing required key or a wrong type is malformed; a required
// value that cannot be used drops the item.
template <HasFields T>
Read readSidecarItem(const Json& json, T& item, const FileContext& files, std::string& problem) {
    if (!json.is_object()) {
        problem = "is not an object";
        return Read::malformed;
    }
    Read result = Read::ok;
    forEachField<T>([&](const auto& field) {
        const auto& traits = field.traits;
        if (result == Read::malformed || traits.saved == Saved::never) return;
        const auto found = json.find(traits.key);
        if (found == json.end() || found->is_null()) {
            if (traits.saved == Saved::required) {
                problem = "\"" + std::string(traits.key) + "\" is missing";
                result = Read::malformed;
            }
            return;
        }
        auto value = field.of(item);
        std::string inner;
        switch (readSidecarValue(*found, value, files, inner)) {
            case Read::ok:
                clampNumber(value, traits);
                field.of(item) = std::move(value);
                break;
            case Read::unusable:
                if (traits.saved == Saved::required) result = Read::unusable;
                break;
            case Read::malformed:
                problem = "\"" + std::string(traits.key) + "\" " + inner;
                result = Read::malformed;
                break;
        }
    });
    if (result == Read::ok && !acceptLoaded(item)) result = Read::unusable;
    return result;
}

template <typename T>
Read readSidecarValue(const Json& json, T& out, const FileContext& files, std::string& problem) {
    const auto wrongType = [&](const char* what) {
        problem = what;
        return Read::malformed;
    };
    if constexpr (std::is_same_v<T, bool>) {
        if (!json.is_boolean()) return wrongType("is not a boolean");
        out = json.get<bool>();
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!json.is_number()) return wrongType("is not a number");
        if (!std::isfinite(static_cast<T>(json.get<double>()))) return wrongType("is not a finite number");
        out = static_cast<T>(json.get<double>());
    } else if constexpr (std::is_integral_v<T>) {
        if (!json.is_number()) return wrongType("is not an integer");
        const double number = json.get<double>();
        if (!(std::abs(number) < 1e9) || number != std::floor(number)) return wrongType("is not an integer");
        out = static_cast<T>(number);
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (!json.is_string()) return wrongType("is not a string");
        out = json.get<std::string>();
    } else if constexpr (Enumeration<T>) {
        if (!json.is_string()) return wrongType("is not a string");
        const auto parsed = parseRaw(json.get<std::string>(), std::type_identity<T>{});
        if (!parsed) return Read::unusable;
        out = *parsed;
    } else if constexpr (std::is_same_v<T, std::filesystem::path> ||
                         std::is_same_v<T, std::optional<std::filesystem::path>>) {
        if (!json.is_string()) return wrongType("is not a string");
        return readSidecarLeaf(json, out, files);
    } else if constexpr (IsOptional<T>::value) {
        typename T::value_type value{};
        const Read read = readSidecarValue(json, value, files, problem);
        if (read == Read::ok) out = std::move(value);
        return read;
    } else if constexpr (IsVector<T>::value) {
        if (!json.is_array()) return wrongType("is not an array");
        T items;
        for (const auto& element : json) {
            typename T::value_type item{};
            std::string inner;
            switch (readSidecarValue(element, item, files, inner)) {
                case Read::ok: items.push_back(std::move(item)); break;
                case Read::unusable: break;
                case Read::malformed: problem = "has a bad element (" + inner + ")"; return Read::malformed;
            }
        }
        out = std::move(items);
    } else if constexpr (HasFields<T>) {
        return readSidecarItem(json, out, files, problem);
    } else {
        const Read read = readSidecarLeaf(json, out);
        if (read == Read::malformed) problem = "is not a valid value";
        return read;
    }
    return Read::ok;
}

// --- Render-cache payloads --------------------------------------------------------------------------

template <typename T>
Json payloadValue(const T& value);

// Every field but the id: ids are fresh each time a project opens, and never change a picture.
template <HasFields T>
Json payloadItem(const T& item) {
    Json object = Json::object();
    forEachField<T>([&](const auto& field) {
        if (field.traits.key == "id") return;
        const auto& value = field.of(item);
        if (!isPresent(value)) return;
        object[std::string(field.traits.key)] = payloadValue(value);
    });
    return object;
}

template <typename T>
Json payloadValue(const T& value) {
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, double> || std::is_same_v<T, std::string> ||
                  std::is_integral_v<T>) {
        return value;
    } else if constexpr (std::is_same_v<T, float>) {
        return floatToDouble(value);
    } else if constexpr (Enumeration<T>) {
        return std::string(rawValue(value));
    } else if constexpr (IsOptional<T>::value) {
        return payloadValue(*value);
    } else if constexpr (IsVector<T>::value) {
        Json array = Json::array();
        for (const auto& element : value) array.push_back(payloadValue(element));
        return array;
    } else if constexpr (HasFields<T>) {
        return payloadItem(value);
    } else {
        return payloadLeaf(value);
    }
}

// --- Remote edits -----------------------------------------------------------------------------------

// Reads what a remote edit carries for a field; only the kinds of value remote edits send are
// readable, anything else is unusable.
template <typename T>
Read readRemoteValue(const Json& json, T& out) {
    if constexpr (std::is_same_v<T, bool>) {
        if (!json.is_boolean()) return Read::unusable;
        out = json.get<bool>();
    } else if constexpr (std::is_floating_point_v<T>) {
        if (!json.is_number() || !std::isfinite(static_cast<T>(json.get<double>()))) return Read::unusable;
        out = static_cast<T>(json.get<double>());
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (!json.is_string()) return Read::unusable;
        out = json.get<std::string>();
    } else if constexpr (Enumeration<T>) {
        if (!json.is_string()) return Read::unusable;
        const auto parsed = parseRaw(json.get<std::string>(), std::type_identity<T>{});
        if (!parsed) return Read::unusable;
        out = *parsed;
    } else if constexpr (IsOptional<T>::value) {
        typename T::value_type value{};
        const Read read = readRemoteValue(json, value);
        if (read == Read::ok) out = std::move(value);
        return read;
    } else if constexpr (IsVector<T>::value) {
        using Item = typename T::value_type;
        if constexpr (requires { readRemoteItem(json, std::type_identity<Item>{}); }) {
            if (!json.is_array()) return Read::unusable;
            T items;
            for (const auto& element : json) {
                if (auto item = readRemoteItem(element, std::type_identity<Item>{})) items.push_back(std::move(*item));
            }
            out = std::move(items);
        } else {
            return Read::unusable;
        }
    } else if constexpr (requires { readRemoteLeaf(json, out); }) {
        return readRemoteLeaf(json, out);
    } else {
        return Read::unusable;
    }
    return Read::ok;
}

}  // namespace orvane::edit_json
