#include "platform/portal/portal_pointer_source.h"

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {

PortalPointerSource::PortalPointerSource(StreamPointer streamPointer, InputDeviceFolders devices,
                                         ButtonsRefused onRefused)
    : streamPointer_(std::move(streamPointer)), devices_(std::move(devices)), onRefused_(std::move(onRefused)) {}

PortalPointerSource::~PortalPointerSource() = default;

PointerLocation PortalPointerSource::location() {
    if (auto seen = streamPointer_()) last_ = *seen;
    return last_;
}

bool PortalPointerSource::startButtonMonitor(std::function<void(bool)> onChange) {
    stopButtonMonitor();
    auto scan = openPointerDevices(devices_);
    if (scan.readable.empty()) {
        if (scan.denied.empty()) {
            log::info(log_area::kCursor, "no pointer device under %s; clicks are not recorded",
                      devices_.devInput.c_str());
        } else {
            log::warning(log_area::kCursor,
                         "%zu pointer devices, none readable (%s); clicks are not recorded without the input group",
                         scan.denied.size(), scan.denied.front().c_str());
            if (onRefused_) onRefused_(scan.denied);
        }
        return false;
    }
    log::info(log_area::kCursor, "reading the left button from %zu input devices", scan.readable.size());
    buttons_ = std::make_unique<EvdevButtonReader>(std::move(scan.readable), std::move(onChange));
    return true;
}

void PortalPointerSource::stopButtonMonitor() { buttons_.reset(); }

}  // namespace orvane
