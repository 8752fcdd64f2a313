#pragma once

#include <memory>
#include <set>

#include "base/event_loop.h"
#include "base/toast_center.h"
#include "recording/recording_library.h"

namespace orvane::cli {

// Exit codes: what failed, for scripts.
enum ExitCode : int { kOk = 0, kFailure = 1, kUsage = 2, kNotFound = 3 };

// What every command shares: the main loop, the toast centre (printed to stderr) and the library,
// opened on first use so commands that do not need it never touch the data folder.
class CliContext {
public:
    CliContext();
    RecordingLibrary& library();
    ToastCenter& toasts() { return toasts_; }
    EventLoop& mainLoop() { return mainLoop_; }

private:
    EventLoop mainLoop_;
    ToastCenter toasts_{mainLoop_};
    Subscription toastPrinter_;
    std::set<Uuid> printedToasts_;
    std::unique_ptr<RecordingLibrary> library_;
};

}  // namespace orvane::cli
