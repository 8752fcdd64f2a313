#include "platform/bundle_config.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "base/json_depth.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "platform/executable_path.h"

#ifndef ORVANE_COMPILED_BUILD_CHANNEL
#define ORVANE_COMPILED_BUILD_CHANNEL "production"
#endif

namespace orvane {

namespace {


}  // namespace

BundleConfig BundleConfig::compiledIn() {
    BundleConfig config;
    config.values_["OrvaneBuildChannel"] = std::string(ORVANE_COMPILED_BUILD_CHANNEL);
    return config;
}

std::optional<std::filesystem::path> BundleConfig::installedBundleFile() {
    const auto executable = runningExecutablePath();
    if (!executable) return std::nullopt;
    return (executable->parent_path() / ".." / "share" / "orvane" / "bundle.json").lexically_normal();
}

BundleConfig BundleConfig::load() {
    BundleConfig config = compiledIn();
    // Not shipping a bundle.json is normal: the compiled-in values and built-in defaults then apply.
    if (const auto installed = installedBundleFile(); installed && std::filesystem::exists(*installed)) {
        config.overlayFile(*installed);
    }
    if (const char* named = std::getenv("ORVANE_BUNDLE"); named && *named) {
        config.overlayFile(named);
    }
    return config;
}

bool BundleConfig::overlayFile(const std::filesystem::path& file) {
    const auto contents = readFileContents(file, kSmallFileLimit);
    if (!contents) {
        log::warning(log_area::kConfig, "bundle file %s is missing or unreadable; ignoring it", file.c_str());
        return false;
    }
    return overlayJSON(*contents, file.string());
}

bool BundleConfig::overlayJSON(std::string_view text, std::string_view origin) {
    const auto document = parseJsonWithinDepth<nlohmann::json>(text);
    if (document.is_discarded() || !document.is_object()) {
        const std::string name(origin);
        log::warning(log_area::kConfig, "bundle file %s is not a JSON object; ignoring it", name.c_str());
        return false;
    }
    for (const auto& [key, value] : document.items()) {
        if (value.is_string()) {
            values_[key] = value.get<std::string>();
        } else {
            values_[key] = std::nullopt;
        }
    }
    return true;
}

std::string BundleConfig::bundleString(std::string_view key, std::string_view fallback) const {
    const auto found = values_.find(key);
    if (found == values_.end() || !found->second) return std::string(fallback);
    std::string value = trimWhitespaceAndNewlines(*found->second);
    // "$(" is a build variable the packaging step failed to expand; its literal text is never usable.
    if (value.empty() || value.find("$(") != std::string::npos) return std::string(fallback);
    return value;
}

}  // namespace orvane
