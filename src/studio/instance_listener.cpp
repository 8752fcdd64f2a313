#include "studio/instance_listener.h"

#include <exception>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane::studio {

InstanceListener::InstanceListener(InstanceChannel& channel, int listeningFd, Deliver deliver, QObject* parent)
    : QObject(parent), channel_(channel), deliver_(std::move(deliver)), notifier_(listeningFd, QSocketNotifier::Read) {
    connect(&notifier_, &QSocketNotifier::activated, this, &InstanceListener::takeWaiting);
}

void InstanceListener::takeWaiting() {
    // acceptPending() takes a bounded batch; the notifier fires again while more connections wait.
    for (const auto& message : channel_.acceptPending()) {
        try {
            deliver_(message);
        } catch (const std::exception& e) {
            log::error(log_area::kStudio, "handing over arguments failed: %s", e.what());
        }
    }
}

}  // namespace orvane::studio
