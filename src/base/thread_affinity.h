#pragma once

// Debug builds check that a main-loop object is only ever touched from one thread: the first thread
// that calls check() owns it, and a call from another thread stops the program at once, naming the
// place, instead of leaving a data race to corrupt state later. Release builds compile it away.

#ifndef NDEBUG
#include <atomic>
#include <thread>
#endif

namespace orvane {

class ThreadAffinity {
public:
    // The builtins name the caller; std::source_location is not available to every compiler we build with.
    void check(const char* function = __builtin_FUNCTION(), const char* file = __builtin_FILE(),
               int line = __builtin_LINE()) const {
#ifndef NDEBUG
        const auto self = std::this_thread::get_id();
        std::thread::id expected{};
        if (owner_.compare_exchange_strong(expected, self) || expected == self) return;
        failed(function, file, line);
#else
        (void)function;
        (void)file;
        (void)line;
#endif
    }

private:
#ifndef NDEBUG
    [[noreturn]] static void failed(const char* function, const char* file, int line);
    mutable std::atomic<std::thread::id> owner_{};
#endif
};

}  // namespace orvane
