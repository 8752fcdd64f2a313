#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>

#include "platform/linux/instance_channel.h"

namespace orvane::studio {

// The running studio's end of the one-instance socket: what later invocations hand over arrives
// here on the Qt thread, as soon as the socket turns readable.
class InstanceListener : public QObject {
    Q_OBJECT
public:
    using Deliver = std::function<void(const InstanceMessage&)>;

    // `channel` must already listen; `listeningFd` is what listen() answered.
    InstanceListener(InstanceChannel& channel, int listeningFd, Deliver deliver, QObject* parent = nullptr);

private:
    void takeWaiting();

    InstanceChannel& channel_;
    Deliver deliver_;
    QSocketNotifier notifier_;
};

}  // namespace orvane::studio
