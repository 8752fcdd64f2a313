#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// The build-time keys of the installed program: compiled-in values, overridden key by key by the
// `bundle.json` installed beside the program, and then by the file named in $ORVANE_BUNDLE. Read once at
// start-up; an immutable value afterwards, safe to read from any thread.
class BundleConfig {
public:
    BundleConfig() = default;

    // The layers in order: compiled-in, installedBundleFile(), $ORVANE_BUNDLE. A missing or malformed file
    // is logged and skipped; it never stops the program.
    static BundleConfig load();
    // Only the keys fixed when the program was built (the build channel).
    static BundleConfig compiledIn();
    // <prefix>/share/orvane/bundle.json for a program installed as <prefix>/bin/orvane.
    static std::optional<std::filesystem::path> installedBundleFile();

    // Lays the keys of a JSON object over the current ones. Returns false, logs and changes nothing when the
    // file is missing or is not a JSON object; `origin` names the source in the log.
    bool overlayFile(const std::filesystem::path& file);
    bool overlayJSON(std::string_view text, std::string_view origin);

    // The bundle-key rule: an absent or non-string value gives `fallback`; otherwise the value trimmed of
    // white space and newlines, unless that is empty or still holds an unexpanded build variable "$(".
    std::string bundleString(std::string_view key, std::string_view fallback) const;

    bool contains(std::string_view key) const { return values_.find(key) != values_.end(); }

private:
    // A key that is present with a value other than a string maps to nullopt.
    std::map<std::string, std::optional<std::string>, std::less<>> values_;
};

}  // namespace orvane
