#include "update/release_version.h"

#include <charconv>
#include <vector>

#ifndef ORVANE_VERSION
#error "ORVANE_VERSION must name the version being built"
#endif
#ifndef ORVANE_BUILD_NUMBER
#define ORVANE_BUILD_NUMBER ""
#endif

namespace orvane {

namespace {

// A component that is not a number counts as 0, as a missing one does: a stray suffix in a
// manifest must not make every release look older or newer.
std::vector<long long> components(std::string_view text) {
    std::vector<long long> parts;
    while (true) {
        const auto dot = text.find('.');
        const auto piece = text.substr(0, dot);
        long long value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error != std::errc() || end != piece.data() + piece.size() || value < 0) value = 0;
        parts.push_back(value);
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return parts;
}

int compareComponents(std::string_view a, std::string_view b) {
    const auto left = components(a);
    const auto right = components(b);
    for (std::size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const long long l = i < left.size() ? left[i] : 0;
        const long long r = i < right.size() ? right[i] : 0;
        if (l != r) return l < r ? -1 : 1;
    }
    return 0;
}

}  // namespace

std::string ReleaseVersion::display() const {
    if (build && !build->empty()) return version + " (" + *build + ")";
    return version;
}

int compareReleaseVersions(const ReleaseVersion& a, const ReleaseVersion& b) {
    if (const int byVersion = compareComponents(a.version, b.version); byVersion != 0) return byVersion;
    return compareComponents(a.build.value_or(""), b.build.value_or(""));
}

ReleaseVersion runningReleaseVersion() {
    ReleaseVersion running{ORVANE_VERSION, std::nullopt};
    if (std::string_view(ORVANE_BUILD_NUMBER).size() > 0) running.build = ORVANE_BUILD_NUMBER;
    return running;
}

}  // namespace orvane
