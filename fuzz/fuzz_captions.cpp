// captions.json: read beside the sidecar when the editor opens a recording, and written again with
// the next caption change.

#include "fuzz/fuzz_support.h"
#include "model/caption_segment.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string problem;
    const auto segments = decodeCaptionSegments(fuzz::text(data, size), &problem);
    if (!segments) {
        fuzz::require(!problem.empty(), "captions.json refused without a reason");
        return 0;
    }
    const auto again = decodeCaptionSegments(encodeCaptionSegments(*segments));
    fuzz::require(again.has_value(), "a captions.json that decoded no longer decodes once written again");
    fuzz::require(*again == *segments, "a captions.json that decoded changes when written again");
    return 0;
}
