#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A marketing version ("1.10.2") and an optional build number. Versions compare component by
// component as base-10 integers with a missing component counting as 0, so 1.10 is newer than 1.9
// and 1.2 equals 1.2.0; only then do the builds decide.
struct ReleaseVersion {
    std::string version;
    std::optional<std::string> build;

    // "1.2.0" or "1.2.0 (57)" when the build is known.
    std::string display() const;
};

// Negative, zero or positive as `a` is older than, the same as or newer than `b`.
int compareReleaseVersions(const ReleaseVersion& a, const ReleaseVersion& b);

// The version this program was built as.
ReleaseVersion runningReleaseVersion();

}  // namespace orvane
