// cursor.json: decoded when a recording opens, then turned into clicks and pointer interactions for
// the automatic zooms. A decoded track must survive being written again unchanged.

#include "editor/click_detection.h"
#include "fuzz/fuzz_support.h"
#include "model/recording_files.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto telemetry = decodeCursorTelemetry(fuzz::text(data, size));
    if (!telemetry) return 0;
    const auto again = decodeCursorTelemetry(encodeCursorTelemetry(*telemetry));
    fuzz::require(again.has_value(), "a cursor.json that decoded no longer decodes once written again");
    fuzz::require(*again == *telemetry, "a cursor.json that decoded changes when written again");

    const auto clicks = clicksFromTelemetry(telemetry->points);
    const auto interactions = interactionsFromTelemetry(telemetry->points);
    std::size_t pressedRuns = 0;
    for (std::size_t i = 0; i < telemetry->points.size(); ++i) {
        if (telemetry->points[i].pressed && (i == 0 || !telemetry->points[i - 1].pressed)) ++pressedRuns;
    }
    fuzz::require(clicks.size() <= pressedRuns, "more clicks than presses in the track");
    (void)interactions;
    return 0;
}
