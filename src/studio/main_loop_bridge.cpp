#include "studio/main_loop_bridge.h"

#include <exception>

#include "base/event_loop.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane::studio {

MainLoopBridge::MainLoopBridge(EventLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), notifier_(loop.attachToExternalLoop(), QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &MainLoopBridge::runDueTasks);
}

void MainLoopBridge::runDueTasks() {
    // An exception must not unwind through Qt's event dispatch; the task that threw is lost, the
    // loop goes on.
    try {
        loop_.runReady();
    } catch (const std::exception& e) {
        log::error(log_area::kStudio, "a main-loop task failed: %s", e.what());
    }
}

}  // namespace orvane::studio
