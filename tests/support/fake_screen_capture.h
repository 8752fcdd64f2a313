#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/screen_capture.h"

namespace orvane::testing {

// A desktop of `displays` (one 320 x 240 display unless the test says otherwise). Each grab paints
// the grabbed region dark grey, blue where the region starts right of x = 0 (a second display), with
// a light bar that moves one column per grab unless `still`. `failAfter` makes grabs throw once that
// many have been taken, as a window that closes would. Windows over transparency come with their
// left half transparent, as if no window covered it.
class FakeScreenCapture final : public ScreenCaptureSystem {
public:
    ShareableContent shareableContent() override { return {displays, {}}; }
    std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor,
                                             const std::vector<std::uint64_t>& leftOut) override {
        leftOutWindows = leftOut;
        noteGrab(region, showCursor);
        return std::make_unique<Grabber>(*this, region, false);
    }
    std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t, const Rect& crop, bool showCursor) override {
        ++windowGrabs;
        return grabRegion(crop, showCursor, {});
    }
    void activateWindow(std::uint64_t) override {}
    std::vector<CaptureWindow> normalWindowsOn(const Rect&) override { return normalWindows; }
    std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect& region, const std::vector<std::uint64_t>& ids,
                                                              bool showCursor) override {
        composedWindows = ids;
        noteGrab(region, showCursor);
        return std::make_unique<Grabber>(*this, region, true);
    }

    std::vector<CaptureDisplay> displays{CaptureDisplay{7, "fake", Rect{0, 0, 320, 240}, 0}};
    std::vector<CaptureWindow> normalWindows;
    std::atomic<bool> still{false};
    std::atomic<int> failAfter{-1};
    std::atomic<int> grabs{0};
    std::atomic<int> grabMilliseconds{0};  // how long each grab takes, as on a slow machine
    // Leave alpha undefined in opaque grabs, as X servers do, instead of opaque.
    bool undefinedAlpha = false;

    std::vector<Rect> grabbedRegions;
    Rect lastRegion;
    bool lastShowCursor = false;
    int windowGrabs = 0;
    std::vector<std::uint64_t> composedWindows;
    std::vector<std::uint64_t> leftOutWindows;  // of the last region grab

private:
    void noteGrab(const Rect& region, bool showCursor) {
        grabbedRegions.push_back(region);
        lastRegion = region;
        lastShowCursor = showCursor;
    }

    class Grabber final : public FrameGrabber {
    public:
        Grabber(FakeScreenCapture& owner, const Rect& region, bool transparentLeftHalf)
            : owner_(owner),
              w_(static_cast<int>(region.width)),
              h_(static_cast<int>(region.height)),
              blue_(region.x > 0),
              transparentLeftHalf_(transparentLeftHalf) {}
        int width() const override { return w_; }
        int height() const override { return h_; }
        void grab(ScreenFrame& frame) override {
            const int n = owner_.grabs++;
            std::this_thread::sleep_for(std::chrono::milliseconds(owner_.grabMilliseconds.load()));
            if (owner_.failAfter >= 0 && n >= owner_.failAfter) {
                throw ScreenCaptureError("The window being recorded was closed.");
            }
            frame.width = w_;
            frame.height = h_;
            frame.stride = w_ * 4;
            frame.bgra.assign(static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(h_), 0x20);
            for (int y = 0; y < h_; ++y) {
                auto* row = frame.bgra.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride);
                for (int x = 0; x < w_; ++x) {
                    if (blue_) row[x * 4] = 0xFF;
                    const bool clear = transparentLeftHalf_ ? x < w_ / 2 : owner_.undefinedAlpha;
                    row[x * 4 + 3] = clear ? 0 : 0xFF;
                }
                if (!owner_.still) {
                    const int bar = n % w_;
                    row[bar * 4] = row[bar * 4 + 1] = row[bar * 4 + 2] = 0xF0;
                }
            }
            frame.time = std::chrono::steady_clock::now();
        }

    private:
        FakeScreenCapture& owner_;
        int w_, h_;
        bool blue_;
        bool transparentLeftHalf_;
    };
};

}  // namespace orvane::testing
