// How the engine's main loop is best run inside Qt's: a task posted from another thread must reach
// the Qt thread quickly, and an idle window must cost no CPU. Compares the eventfd bridge the studio
// uses with pumping the loop from Qt timers (every turn, or every 4 ms).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <ctime>
#include <memory>

#include "base/event_loop.h"
#include "studio/main_loop_bridge.h"

namespace {

using orvane::EventLoop;
using orvane::SerialQueue;

enum class Mode { bridge, zeroTimer, fourMsTimer };

double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void runMode(benchmark::State& state, Mode mode) {
    EventLoop loop;
    std::unique_ptr<orvane::studio::MainLoopBridge> bridge;
    QTimer pump;
    if (mode == Mode::bridge) {
        bridge = std::make_unique<orvane::studio::MainLoopBridge>(loop);
    } else {
        pump.setInterval(mode == Mode::zeroTimer ? 0 : 4);
        QObject::connect(&pump, &QTimer::timeout, [&loop] { loop.runReady(); });
        pump.start();
    }
    SerialQueue worker("orvane.bench");
    for (auto _ : state) {
        bool ran = false;
        worker.post([&] { loop.post([&ran] { ran = true; }); });
        while (!ran) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // CPU spent while nothing happens, as a share of one core.
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle;
    QTimer::singleShot(300, &idle, &QEventLoop::quit);
    idle.exec();
    state.counters["idle_cpu_percent"] = 100.0 * (processCpuSeconds() - cpuBefore) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

void BM_PostToQtThread_EventfdBridge(benchmark::State& state) { runMode(state, Mode::bridge); }
void BM_PostToQtThread_ZeroTimerPump(benchmark::State& state) { runMode(state, Mode::zeroTimer); }
void BM_PostToQtThread_FourMsTimerPump(benchmark::State& state) { runMode(state, Mode::fourMsTimer); }

BENCHMARK(BM_PostToQtThread_EventfdBridge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostToQtThread_ZeroTimerPump)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostToQtThread_FourMsTimerPump)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
