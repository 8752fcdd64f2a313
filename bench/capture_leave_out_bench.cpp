// What leaving the studio's own windows out of a display recording costs per frame, against the plain
// root grab and against composing every other window from its own picture. Runs on a private Xvfb
// (1280x720) with ten application windows, some overlapping, and the studio's control, face-camera
// bubble and teleprompter over them.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/x11/test_display.h"
#include "platform/x11/x11_screen_capture.h"

namespace {

using orvane::Rect;
using orvane::ScreenFrame;
using orvane::testing::TestWindow;

struct Desktop {
    Desktop() {
        orvane::testing::testDisplayName();
        for (int i = 0; i < 10; ++i) {
            apps.push_back(std::make_unique<TestWindow>(TestWindow::Look::at(
                40 + 110 * i, 30 + 50 * i, 420, 300, 0x204060u + 0x101010u * static_cast<unsigned>(i))));
        }
        own.push_back(std::make_unique<TestWindow>(TestWindow::Look::at(490, 24, 300, 48, 0xFF00FF)));     // control
        own.push_back(std::make_unique<TestWindow>(TestWindow::Look::at(1000, 500, 240, 180, 0xFF00FF)));  // bubble
        own.push_back(
            std::make_unique<TestWindow>(TestWindow::Look::at(360, 560, 560, 140, 0xFF00FF)));  // teleprompter
    }
    std::vector<std::uint64_t> ownIDs() const {
        std::vector<std::uint64_t> ids;
        for (const auto& window : own) ids.push_back(window->id());
        return ids;
    }
    std::vector<std::uint64_t> appIDs() const {
        std::vector<std::uint64_t> ids;
        for (const auto& window : apps) ids.push_back(window->id());
        return ids;
    }
    std::vector<std::unique_ptr<TestWindow>> apps;
    std::vector<std::unique_ptr<TestWindow>> own;
};

Desktop& desktop() {
    static Desktop instance;
    return instance;
}

const Rect kScreen{0, 0, 1280, 720};

void run(benchmark::State& state, std::unique_ptr<orvane::FrameGrabber> grabber) {
    ScreenFrame frame;
    for (auto _ : state) {
        grabber->grab(frame);
        benchmark::DoNotOptimize(frame.bgra.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RootGrab(benchmark::State& state) {
    desktop();
    orvane::X11ScreenCapture capture;
    run(state, capture.grabRegion(kScreen, false, {}));
}

// Own windows named but none of them exists: what every frame costs when the studio shows nothing.
void BM_LeaveOutNothingShown(benchmark::State& state) {
    desktop();
    orvane::X11ScreenCapture capture;
    run(state, capture.grabRegion(kScreen, false, {0x7fff0001, 0x7fff0002, 0x7fff0003}));
}

void BM_LeaveOutControlBubbleTeleprompter(benchmark::State& state) {
    auto& d = desktop();
    orvane::X11ScreenCapture capture;
    run(state, capture.grabRegion(kScreen, false, d.ownIDs()));
}

// The alternative: every other window composed from its own picture for the whole frame.
void BM_ComposeEveryOtherWindow(benchmark::State& state) {
    auto& d = desktop();
    orvane::X11ScreenCapture capture;
    run(state, capture.grabWindowsOverTransparency(kScreen, d.appIDs(), false));
}

}  // namespace

BENCHMARK(BM_RootGrab)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LeaveOutNothingShown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LeaveOutControlBubbleTeleprompter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeEveryOtherWindow)->Unit(benchmark::kMillisecond);
