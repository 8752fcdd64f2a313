#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "platform/pointer_source.h"

namespace orvane::testing {

// A pointer the test moves by hand, with a left button it presses through the installed monitor.
// Safe to read from the sampler's thread while the test moves it.
class FakePointer final : public PointerSource {
public:
    PointerLocation location() override {
        ++locationCalls;
        std::lock_guard lock(mutex_);
        return position_;
    }
    bool startButtonMonitor(std::function<void(bool)> onChange) override {
        if (!monitorAvailable) return false;
        std::lock_guard lock(mutex_);
        onChange_ = std::move(onChange);
        return true;
    }
    void stopButtonMonitor() override {
        std::lock_guard lock(mutex_);
        onChange_ = nullptr;
        ++stopCalls;
    }

    void moveTo(double x, double y) {
        std::lock_guard lock(mutex_);
        position_ = {x, y};
    }
    // Presses or releases the button, as the monitor's thread would report it.
    void button(bool down) {
        std::function<void(bool)> onChange;
        {
            std::lock_guard lock(mutex_);
            onChange = onChange_;
        }
        if (onChange) onChange(down);
    }
    bool monitorInstalled() const {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(onChange_);
    }

    std::atomic<bool> monitorAvailable{true};
    std::atomic<int> stopCalls{0};
    std::atomic<int> locationCalls{0};

private:
    mutable std::mutex mutex_;
    PointerLocation position_;
    std::function<void(bool)> onChange_;
};

}  // namespace orvane::testing
