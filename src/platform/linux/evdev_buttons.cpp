#include "platform/linux/evdev_buttons.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "base/log.h"
#include "base/log_areas.h"
#include "base/thread_name.h"

namespace orvane {

namespace fs = std::filesystem;

bool capabilityBitSet(const std::string& mask, unsigned bit) {
    // The kernel prints one word per `unsigned long`, the last word holding bits 0 and up.
    std::istringstream in(mask);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    constexpr unsigned kWordBits = sizeof(unsigned long) * 8;
    const std::size_t index = bit / kWordBits;
    if (index >= words.size()) return false;
    const std::string& word = words[words.size() - 1 - index];
    unsigned long value = 0;
    try {
        std::size_t used = 0;
        value = std::stoul(word, &used, 16);
        if (used != word.size()) return false;
    } catch (const std::exception&) {
        return false;
    }
    return (value >> (bit % kWordBits)) & 1UL;
}

PointerDeviceScan openPointerDevices(const InputDeviceFolders& folders) {
    PointerDeviceScan scan;
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folders.sysClassInput, error)) {
        const auto name = entry.path().filename().string();
        if (name.rfind("event", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        std::ifstream keys(folders.sysClassInput / name / "device" / "capabilities" / "key");
        std::string mask;
        if (!keys || !std::getline(keys, mask) || !capabilityBitSet(mask, BTN_LEFT)) continue;
        const auto node = folders.devInput / name;
        const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            scan.readable.emplace_back(fd);
        } else if (errno == EACCES || errno == EPERM) {
            scan.denied.push_back(node);
        }
        // Any other failure (a node not made yet, a device just unplugged) is no device at all.
    }
    return scan;
}

EvdevButtonReader::EvdevButtonReader(std::vector<FileDescriptor> devices, std::function<void(bool)> onChange)
    : devices_(std::move(devices)), onChange_(std::move(onChange)), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wake_.get() < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { run(); });
}

EvdevButtonReader::~EvdevButtonReader() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

void EvdevButtonReader::run() {
    setCurrentThreadName("orvane.evdev");
    struct Device {
        explicit Device(int descriptor) : fd(descriptor) {}
        int fd;
        bool leftDown = false;
        // A record may arrive in pieces (a pipe, a socket); the rest of it waits here.
        std::size_t pending = 0;
        alignas(input_event) unsigned char partial[sizeof(input_event)]{};
    };
    std::vector<Device> devices;
    for (const auto& d : devices_) devices.emplace_back(d.get());
    int held = 0;  // devices that hold the left button down

    for (;;) {
        std::vector<pollfd> watched{{wake_.get(), POLLIN, 0}};
        for (const auto& d : devices) watched.push_back({d.fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            log::error(log_area::kCursor, "input devices cannot be watched: %s", std::strerror(errno));
            return;
        }
        if (watched[0].revents) return;
        std::vector<Device> kept;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            Device& device = devices[i];
            bool gone = false;
            if (watched[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                unsigned char buffer[64 * sizeof(input_event)];
                const ssize_t got = ::read(device.fd, buffer, sizeof buffer);
                if (got > 0) {
                    for (ssize_t at = 0; at < got; ++at) {
                        device.partial[device.pending++] = buffer[at];
                        if (device.pending < sizeof(input_event)) continue;
                        device.pending = 0;
                        input_event event;
                        std::memcpy(&event, device.partial, sizeof event);
                        // Value 2 is the key's auto-repeat while held, not a new press.
                        if (event.type != EV_KEY || event.code != BTN_LEFT || event.value > 1) continue;
                        const bool down = event.value == 1;
                        if (down == device.leftDown) continue;
                        device.leftDown = down;
                        const int before = held;
                        held += down ? 1 : -1;
                        if ((before == 0) != (held == 0)) onChange_(down);
                    }
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    gone = true;  // end of file, or ENODEV once the device was unplugged
                }
            }
            if (!gone) {
                kept.push_back(device);
                continue;
            }
            log::info(log_area::kCursor, "an input device went away");
            // A device that leaves while holding the button no longer holds it.
            if (device.leftDown && --held == 0) onChange_(false);
        }
        devices = std::move(kept);
    }
}

}  // namespace orvane
