#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "base/thread_name.h"

namespace orvane {

// Runs `operation` on a thread of its own and waits at most `limit` for it. Whichever comes first,
// the result or the time limit, answers the caller, exactly once; an operation that hangs (a stuck
// D-Bus call) is left to finish in the background and its late result is dropped.
template <typename T>
std::optional<T> runBounded(std::chrono::nanoseconds limit, std::function<T()> operation) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<T> value;
        bool finished = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, operation = std::move(operation)] {
        setCurrentThreadName("orvane.bounded");
        std::optional<T> result;
        try {
            result = operation();
        } catch (...) {
            // A failed operation answers like a missing value.
        }
        std::lock_guard lock(shared->mutex);
        shared->value = std::move(result);
        shared->finished = true;
        shared->ready.notify_all();
    }).detach();

    std::unique_lock lock(shared->mutex);
    if (!shared->ready.wait_for(lock, limit, [&] { return shared->finished; })) return std::nullopt;
    return std::move(shared->value);
}

}  // namespace orvane
