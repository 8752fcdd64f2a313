// meta.json: the strict decoder the library lists recordings with, and the loose one that repairs a
// damaged file. Whatever either reads is written back as meta.json (a rename, a repair), so it must
// read back unchanged, dates to the second as they are written; otherwise the recording drops out of
// the library or changes under the user.

#include <chrono>

#include "fuzz/fuzz_support.h"
#include "model/recording_files.h"

using namespace orvane;

namespace {

bool sameOnceWritten(RecordingMeta reread, const RecordingMeta& original) {
    const auto seconds = [](SystemTime time) { return std::chrono::floor<std::chrono::seconds>(time); };
    if (seconds(reread.createdAt) != seconds(original.createdAt)) return false;
    reread.createdAt = original.createdAt;
    return reread == original;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = fuzz::text(data, size);
    if (const auto meta = decodeRecordingMeta(text)) {
        const auto again = decodeRecordingMeta(encodeRecordingMeta(*meta));
        fuzz::require(again.has_value(), "a meta.json that decoded no longer decodes once written again");
        fuzz::require(sameOnceWritten(*again, *meta), "a meta.json that decoded changes when written again");
    }

    static const auto fallback =
        makeNewRecordingMeta(*Uuid::parse("0b7e3c1a-9f2d-4c55-8a10-3e5f6a7b8c9d"), SystemTime{});
    const auto salvaged = salvageRecordingMeta(text, fallback);
    const auto repaired = decodeRecordingMeta(encodeRecordingMeta(salvaged));
    fuzz::require(repaired.has_value(), "a salvaged meta.json does not decode once written");
    fuzz::require(sameOnceWritten(*repaired, salvaged), "a salvaged meta.json changes when written");
    return 0;
}
