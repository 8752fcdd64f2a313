#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/clip.h"
#include "model/composition_resolver.h"

namespace orvane {

// The self-check that keeps the layered composition honest: it samples the clip mapping and the
// resolved screen layer at the same times and reports where they disagree. It only reports; no
// state changes and nothing reaches the user.
class CompositionAudit {
public:
    struct Discrepancy {
        std::string kind;
        std::string detail;

        bool operator==(const Discrepancy&) const = default;
    };

    // The sample count the save path uses.
    static constexpr int kSaveSampleCount = 100;
    // Discrepancies listed line by line in the log; the rest are only counted.
    static constexpr std::size_t kLoggedDiscrepancyLimit = 8;

    // `screenLayer` is the resolved screen layer, or nullptr when the resolved composition has none;
    // `resolvedDuration` is the resolved composition's duration.
    static std::vector<Discrepancy> run(std::span<const Clip> clips, const ResolvedLayer* screenLayer,
                                        int sampleCount, double resolvedDuration);

    // Writes the outcome under "Orvane.CompositionAudit".
    static void log(std::string_view recordingID, std::size_t clipCount, double resolvedDuration,
                    const std::vector<Discrepancy>& discrepancies);
};

}  // namespace orvane
