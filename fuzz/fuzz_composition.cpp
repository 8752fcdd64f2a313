// composition.json: the layered document of a recording, read strictly and written back whole.

#include "fuzz/fuzz_support.h"
#include "model/composition_json.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string problem;
    const auto document = decodeCompositionDocument(fuzz::text(data, size), &problem);
    if (!document) {
        fuzz::require(!problem.empty(), "composition.json refused without a reason");
        return 0;
    }
    const auto again = decodeCompositionDocument(encodeCompositionDocument(*document));
    fuzz::require(again.has_value(), "a composition.json that decoded no longer decodes once written again");
    fuzz::require(*again == *document, "a composition.json that decoded changes when written again");
    return 0;
}
