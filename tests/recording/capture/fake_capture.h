#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/pointer_source.h"
#include "platform/screen_capture.h"
#include "recording/disk_space.h"

namespace orvane::testing {

// A desktop with one 320 x 240 display whose picture changes every grab (a moving bar), unless
// `still`. `failAfter` makes grabs throw once that many have been taken, as a window that closes would.
class FakeScreenCapture final : public ScreenCaptureSystem {
public:
    ShareableContent shareableContent() override {
        ShareableContent content;
        content.displays.push_back(CaptureDisplay{7, "fake", Rect{0, 0, 320, 240}, 0});
        return content;
    }
    std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor) override {
        lastRegion = region;
        lastShowCursor = showCursor;
        return std::make_unique<Grabber>(*this, int(region.width), int(region.height), false);
    }
    std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t, const Rect& crop, bool showCursor) override {
        return grabRegion(crop, showCursor);
    }
    void activateWindow(std::uint64_t) override {}
    std::vector<CaptureWindow> normalWindowsOn(const Rect&) override { return normalWindows; }
    // Frames whose left half is transparent, as if no window covered it.
    std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect& region, const std::vector<std::uint64_t>& ids,
                                                              bool showCursor) override {
        composedWindows = ids;
        lastRegion = region;
        lastShowCursor = showCursor;
        return std::make_unique<Grabber>(*this, int(region.width), int(region.height), true);
    }

    std::atomic<bool> still{false};
    std::atomic<int> failAfter{-1};
    std::atomic<int> grabs{0};
    std::atomic<int> grabMilliseconds{0};  // how long each grab takes, as on a slow machine
    Rect lastRegion;
    bool lastShowCursor = false;
    std::vector<CaptureWindow> normalWindows;
    std::vector<std::uint64_t> composedWindows;

private:
    class Grabber final : public FrameGrabber {
    public:
        Grabber(FakeScreenCapture& owner, int w, int h, bool transparentLeftHalf)
            : owner_(owner), w_(w), h_(h), transparentLeftHalf_(transparentLeftHalf) {}
        int width() const override { return w_; }
        int height() const override { return h_; }
        void grab(ScreenFrame& frame) override {
            const int n = owner_.grabs++;
            std::this_thread::sleep_for(std::chrono::milliseconds(owner_.grabMilliseconds.load()));
            if (owner_.failAfter >= 0 && n >= owner_.failAfter) throw ScreenCaptureError("The window being recorded was closed.");
            frame.width = w_;
            frame.height = h_;
            frame.stride = w_ * 4;
            frame.bgra.assign(std::size_t(frame.stride) * std::size_t(h_), 0x20);
            const int bar = owner_.still ? 0 : n % w_;
            for (int y = 0; y < h_; ++y) {
                auto* row = frame.bgra.data() + std::size_t(y) * std::size_t(frame.stride);
                row[bar * 4] = row[bar * 4 + 1] = row[bar * 4 + 2] = 0xF0;
                for (int x = 0; x < w_; ++x) row[x * 4 + 3] = transparentLeftHalf_ && x < w_ / 2 ? 0 : 0xFF;
            }
            frame.time = std::chrono::steady_clock::now();
        }

    private:
        FakeScreenCapture& owner_;
        int w_, h_;
        bool transparentLeftHalf_;
    };
};

class FakeFreeSpace final : public FreeSpaceSource {
public:
    std::optional<std::uint64_t> freeBytes() override { return bytes; }
    std::optional<std::uint64_t> bytes = 100'000'000'000ULL;
};

// A pointer parked at a fixed place, with a button monitor the test can press.
class FakePointer final : public PointerSource {
public:
    PointerLocation location() override { return {160, 60}; }
    bool startButtonMonitor(std::function<void(bool)> onChange) override {
        std::lock_guard lock(mutex);
        monitor = std::move(onChange);
        return true;
    }
    void stopButtonMonitor() override {
        std::lock_guard lock(mutex);
        monitor = nullptr;
    }

    std::mutex mutex;
    std::function<void(bool)> monitor;
};

}  // namespace orvane::testing
