#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace orvane {

// Observers of a main-loop object. A Subscription unsubscribes when destroyed, so a view that goes
// away can never be called back. Not thread-safe: emit and subscribe on the owner's executor.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (cancel_) std::exchange(cancel_, nullptr)();
    }

private:
    std::function<void()> cancel_;
};

template <typename... Args>
class Signal {
public:
    using Slot = std::function<void(const Args&...)>;

    [[nodiscard]] Subscription subscribe(Slot slot) {
        const auto key = next_++;
        (*slots_)[key] = std::move(slot);
        std::weak_ptr<std::map<std::uint64_t, Slot>> slots = slots_;
        return Subscription([slots, key] {
            if (auto alive = slots.lock()) alive->erase(key);
        });
    }

    void emit(const Args&... args) const {
        // A slot may unsubscribe itself or others while we iterate, so call a snapshot.
        const auto snapshot = *slots_;
        for (const auto& [key, slot] : snapshot) {
            if (slots_->count(key)) slot(args...);
        }
    }

private:
    std::shared_ptr<std::map<std::uint64_t, Slot>> slots_ = std::make_shared<std::map<std::uint64_t, Slot>>();
    std::uint64_t next_ = 0;
};

}  // namespace orvane
