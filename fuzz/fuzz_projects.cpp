// projects.json: the user's project list, rewritten whole whenever a project changes: what it reads
// must read back the same, dates to the second as they are written.

#include <chrono>

#include "fuzz/fuzz_support.h"
#include "model/recording_files.h"

using namespace orvane;

namespace {

bool sameOnceWritten(std::vector<Project> reread, const std::vector<Project>& original) {
    if (reread.size() != original.size()) return false;
    const auto seconds = [](SystemTime time) { return std::chrono::floor<std::chrono::seconds>(time); };
    for (std::size_t i = 0; i < reread.size(); ++i) {
        if (seconds(reread[i].createdAt) != seconds(original[i].createdAt)) return false;
        reread[i].createdAt = original[i].createdAt;
    }
    return reread == original;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto projects = decodeProjects(fuzz::text(data, size));
    if (!projects) return 0;
    const auto again = decodeProjects(encodeProjects(*projects));
    fuzz::require(again.has_value(), "a projects.json that decoded no longer decodes once written again");
    fuzz::require(sameOnceWritten(*again, *projects), "a projects.json that decoded changes when written again");
    return 0;
}
