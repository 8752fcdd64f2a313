#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace orvane {

// What the editor tells the user about automatic zooms. Only `ready` carries a value: the number of
// zoom regions after generation.
struct AutoZoomStatus {
    // Cases in the order they are documented to the user.
    enum class Kind { ready, unknown, computing, pendingDuration, noClicks, noCursorTrack, clickCaptureDisabled };

    Kind kind = Kind::unknown;
    std::size_t count = 0;  // meaningful only for `ready`

    static AutoZoomStatus ready(std::size_t count) { return {Kind::ready, count}; }
    static AutoZoomStatus of(Kind kind) { return {kind, 0}; }
    static AutoZoomStatus unknown() { return of(Kind::unknown); }
    static AutoZoomStatus computing() { return of(Kind::computing); }
    static AutoZoomStatus pendingDuration() { return of(Kind::pendingDuration); }
    static AutoZoomStatus noClicks() { return of(Kind::noClicks); }
    static AutoZoomStatus noCursorTrack() { return of(Kind::noCursorTrack); }
    static AutoZoomStatus clickCaptureDisabled() { return of(Kind::clickCaptureDisabled); }

    bool operator==(const AutoZoomStatus&) const = default;
};

inline constexpr std::array kAllAutoZoomStatusKinds = {
    AutoZoomStatus::Kind::ready,    AutoZoomStatus::Kind::unknown,       AutoZoomStatus::Kind::computing,
    AutoZoomStatus::Kind::pendingDuration, AutoZoomStatus::Kind::noClicks, AutoZoomStatus::Kind::noCursorTrack,
    AutoZoomStatus::Kind::clickCaptureDisabled};

// The banner the editor shows for a status: a symbol image name and its text.
struct AutoZoomBanner {
    std::string symbolName;
    std::string text;

    bool operator==(const AutoZoomBanner&) const = default;
};

// Nothing for the statuses that show no banner: unknown, computing, pendingDuration and ready(0).
// Defined in the orvane_editor_camera library.
std::optional<AutoZoomBanner> autoZoomBanner(const AutoZoomStatus& status);

}  // namespace orvane
