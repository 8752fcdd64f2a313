#include "cli/cli_context.h"

#include <cstdio>

namespace orvane::cli {

CliContext::CliContext() {
    // Toasts are how the engine reports outcomes; on a terminal they become stderr lines.
    toastPrinter_ = toasts_.observe([this](const std::vector<Toast>& toasts) {
        for (const auto& toast : toasts) {
            if (!printedToasts_.insert(toast.id).second) continue;
            std::string line = std::string(toastLevelName(toast.level)) + ": " + toast.title;
            if (toast.detail) line += " \xE2\x80\x94 " + *toast.detail;
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    });
}

RecordingLibrary& CliContext::library() {
    if (!library_) library_ = std::make_unique<RecordingLibrary>(LibraryLocation::standard(), mainLoop_, toasts_);
    return *library_;
}

}  // namespace orvane::cli
