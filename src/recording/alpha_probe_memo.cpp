#include "recording/alpha_probe_memo.h"

#include <fstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

namespace {

std::string processorModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 1);
        }
    }
    return "unknown processor";
}

// What the answer depends on.
std::string machineKey(int fps) {
    return "libavcodec " + std::to_string(avcodec_version()) + ";" + processorModel() + "; " +
           std::to_string(std::thread::hardware_concurrency()) + " threads; " + std::to_string(fps) + " fps";
}

}  // namespace

bool alphaWriterUsable(const std::filesystem::path& memoFile, int fps, const std::function<AlphaProbeResult()>& probe) {
    const auto key = machineKey(fps);
    if (const auto text = readFileContents(memoFile, kSmallFileLimit)) {
        const auto memo = nlohmann::json::parse(*text, nullptr, false);
        if (memo.is_object() && memo.value("machine", "") == key && memo.contains("usable") && memo["usable"].is_boolean()) {
            return memo["usable"].get<bool>();
        }
    }
    const auto result = probe();
    const bool clearCut = result.usable || result.framesPerSecond < fps / 2.0;
    if (clearCut) {
        const nlohmann::json memo{{"machine", key}, {"usable", result.usable}, {"framesPerSecond", result.framesPerSecond}};
        try {
            std::filesystem::create_directories(memoFile.parent_path());
            writeFileAtomically(memoFile, memo.dump(2) + "\n");
        } catch (const std::exception& e) {
            log::warning(log_area::kRecorder, "could not keep the alpha probe's answer: %s", e.what());
        }
    }
    return result.usable;
}

}  // namespace orvane
