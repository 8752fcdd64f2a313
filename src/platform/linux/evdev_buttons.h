#pragma once

// Left-button presses read straight from the kernel's input devices. A Wayland desktop gives no
// client global button events, but a user in the `input` group may read /dev/input/event*.

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/file_descriptor.h"

namespace orvane {

// Where the kernel lists input devices (sysfs, with each device's capabilities) and where their
// device nodes are.
struct InputDeviceFolders {
    std::filesystem::path sysClassInput = "/sys/class/input";
    std::filesystem::path devInput = "/dev/input";
};

// The pointer devices (those with a left button: mice, touchpads, trackpoints) found, opened for
// reading where this user may.
struct PointerDeviceScan {
    std::vector<FileDescriptor> readable;
    std::vector<std::filesystem::path> denied;  // device nodes this user may not read
};

// Finds the pointer devices by their capabilities in sysfs, so devices that cannot be opened are
// still known, and opens each node read-only without blocking. Never throws: an unreadable sysfs
// is a scan that found nothing.
PointerDeviceScan openPointerDevices(const InputDeviceFolders& folders = {});

// Whether a sysfs capability bit mask (hexadecimal words separated by spaces, most significant
// first, as in .../capabilities/key) has bit `bit` set.
bool capabilityBitSet(const std::string& mask, unsigned bit);

// Reads `struct input_event` records from each descriptor on a thread of its own ("orvane.evdev")
// and reports the left button: down when the first device presses it, up when the last one that
// held it lets go. A device that goes away (unplugged, end of file) is dropped; the others go on.
// `onChange` is called on that thread, never after the destructor returns.
class EvdevButtonReader {
public:
    EvdevButtonReader(std::vector<FileDescriptor> devices, std::function<void(bool leftDown)> onChange);
    ~EvdevButtonReader();
    EvdevButtonReader(const EvdevButtonReader&) = delete;
    EvdevButtonReader& operator=(const EvdevButtonReader&) = delete;

private:
    void run();

    std::vector<FileDescriptor> devices_;
    std::function<void(bool)> onChange_;
    FileDescriptor wake_;
    std::thread thread_;
};

}  // namespace orvane
