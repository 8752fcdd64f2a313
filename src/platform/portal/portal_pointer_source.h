#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/linux/evdev_buttons.h"
#include "platform/pointer_source.h"

namespace orvane {

// The pointer on a Wayland desktop, which gives clients neither a global pointer nor global button
// events: the position from the screen-cast stream's cursor metadata (in the picked picture's
// pixels; the picture is the one display, at 0,0), the left button from the kernel's input devices
// where this user may read them.
class PortalPointerSource final : public PointerSource {
public:
    // Where the stream last saw the pointer, or nothing before its first report.
    using StreamPointer = std::function<std::optional<PointerLocation>()>;
    // Called on the thread that starts the monitor when pointer devices exist but this user may read
    // none of them (`denied` names their nodes).
    using ButtonsRefused = std::function<void(const std::vector<std::filesystem::path>& denied)>;

    explicit PortalPointerSource(StreamPointer streamPointer, InputDeviceFolders devices = {},
                                 ButtonsRefused onRefused = {});
    ~PortalPointerSource() override;

    // Before the stream's first report, the picture's top left.
    PointerLocation location() override;
    bool startButtonMonitor(std::function<void(bool)> onChange) override;
    void stopButtonMonitor() override;

private:
    StreamPointer streamPointer_;
    InputDeviceFolders devices_;
    ButtonsRefused onRefused_;
    PointerLocation last_;  // the sampler's queue only
    std::unique_ptr<EvdevButtonReader> buttons_;
};

}  // namespace orvane
