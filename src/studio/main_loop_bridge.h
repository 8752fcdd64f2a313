#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace orvane {
class EventLoop;
}

namespace orvane::studio {

// Runs the engine's main loop inside Qt's: engine objects post to the EventLoop from any thread, the
// loop's wake-up descriptor turns readable, and the due tasks run here on the Qt thread. Nothing
// polls while both loops are idle.
class MainLoopBridge : public QObject {
    Q_OBJECT
public:
    explicit MainLoopBridge(EventLoop& loop, QObject* parent = nullptr);

private:
    void runDueTasks();

    EventLoop& loop_;
    QSocketNotifier notifier_;
};

}  // namespace orvane::studio
