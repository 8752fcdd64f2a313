#include "update/update_manifest.h"

#include <nlohmann/json.hpp>

#include "base/json_depth.h"

namespace orvane {

namespace {

std::optional<std::string> optionalString(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    if (!found->is_string()) {
        throw ManifestDecodeError(std::string("The update manifest's \"") + key + "\" is not a string.");
    }
    return found->get<std::string>();
}

}  // namespace

UpdateManifest UpdateManifest::decode(std::string_view text) {
    const auto document = parseJsonWithinDepth<nlohmann::json>(text);
    if (document.is_discarded()) throw ManifestDecodeError("The update manifest is not valid JSON.");
    if (!document.is_object()) throw ManifestDecodeError("The update manifest is not a JSON object.");
    UpdateManifest manifest;
    const auto app = document.find("app");
    if (app == document.end() || app->is_null()) return manifest;
    if (!app->is_object()) throw ManifestDecodeError("The update manifest's \"app\" is not an object.");
    auto version = optionalString(*app, "version");
    if (!version) throw ManifestDecodeError("The update manifest's \"app\" has no \"version\".");
    manifest.app = AppRelease{std::move(*version), optionalString(*app, "build"), optionalString(*app, "downloadUrl"),
                              optionalString(*app, "downloadPath")};
    return manifest;
}

}  // namespace orvane
