#pragma once

// Debug builds check that a main-loop object is only ever touched from one thread: the first thread
// that calls check() owns it, and a call from another thread stops the program at once, naming the
// place, instead of leaving a data race to corrupt state later. Release builds compile it away.

#include <source_location>

#ifndef NDEBUG
#include <atomic>
#include <thread>
#endif

namespace orvane {

class ThreadAffinity {
public:
    void check(std::source_location where = std::source_location::current()) const {
#ifndef NDEBUG
        const auto self = std::this_thread::get_id();
        std::thread::id expected{};
        if (owner_.compare_exchange_strong(expected, self) || expected == self) return;
        failed(where);
#else
        (void)where;
#endif
    }

private:
#ifndef NDEBUG
    [[noreturn]] static void failed(const std::source_location& where);
    mutable std::atomic<std::thread::id> owner_{};
#endif
};

}  // namespace orvane
