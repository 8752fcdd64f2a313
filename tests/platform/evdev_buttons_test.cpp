#include "platform/linux/evdev_buttons.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::TempDir;
using testing::writeTextFile;

// What a reader reported, for the test thread to wait on.
class ButtonLog {
public:
    std::function<void(bool)> callback() {
        return [this](bool down) {
            std::lock_guard lock(mutex_);
            changes_.push_back(down);
            changed_.notify_all();
        };
    }
    // The changes once there are `count` of them (or after a generous bound, whatever came).
    std::vector<bool> waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(5), [&] { return changes_.size() >= count; });
        return changes_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> changes_;
};

std::vector<unsigned char> record(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&event);
    return {bytes, bytes + sizeof event};
}

void send(int fd, const std::vector<unsigned char>& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::vector<unsigned char> leftButton(bool down) {
    auto bytes = record(EV_KEY, BTN_LEFT, down ? 1 : 0);
    const auto sync = record(EV_SYN, SYN_REPORT, 0);
    bytes.insert(bytes.end(), sync.begin(), sync.end());
    return bytes;
}

struct SocketPair {
    int ours = -1;
    FileDescriptor device{-1};
    SocketPair() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
            ours = fds[0];
            device = FileDescriptor(fds[1]);
        }
    }
    ~SocketPair() {
        if (ours >= 0) ::close(ours);
    }
};

TEST(EvdevButtonsTest, LeftButtonIsDownWhileAnyDeviceHoldsItAndDevicesMayLeave) {
    SocketPair mouse, touchpad;
    ButtonLog log;
    std::vector<FileDescriptor> devices;
    // Records of two devices have no order between them; within one wake-up the reader takes the
    // devices in turn, so with the touchpad first its press below always comes before the mouse's
    // release, however the writes are batched.
    devices.push_back(std::move(touchpad.device));
    devices.push_back(std::move(mouse.device));
    EvdevButtonReader reader(std::move(devices), log.callback());

    // Motion, the right button and a press split across two writes: one down.
    send(mouse.ours, record(EV_REL, REL_X, 5));
    send(mouse.ours, record(EV_KEY, BTN_RIGHT, 1));
    const auto press = leftButton(true);
    send(mouse.ours, {press.begin(), press.begin() + 7});
    send(mouse.ours, {press.begin() + 7, press.end()});
    EXPECT_EQ(log.waitFor(1), std::vector<bool>{true});

    // The touchpad presses too, auto-repeat arrives, the mouse lets go: still held by the touchpad.
    send(touchpad.ours, leftButton(true));
    send(touchpad.ours, record(EV_KEY, BTN_LEFT, 2));
    send(mouse.ours, leftButton(false));
    send(touchpad.ours, leftButton(false));
    EXPECT_EQ(log.waitFor(2), (std::vector<bool>{true, false}));

    // A device unplugged while holding the button lets it go; the other device still counts.
    send(touchpad.ours, leftButton(true));
    EXPECT_EQ(log.waitFor(3).size(), 3u);
    ::close(touchpad.ours);
    touchpad.ours = -1;
    EXPECT_EQ(log.waitFor(4), (std::vector<bool>{true, false, true, false}));
    send(mouse.ours, leftButton(true));
    send(mouse.ours, leftButton(false));
    EXPECT_EQ(log.waitFor(6), (std::vector<bool>{true, false, true, false, true, false}));
}

// sysfs prints one 64-bit word per `unsigned long`, lowest bits last: BTN_LEFT (0x110) is bit 16 of
// the fifth word from the end. A keyboard's mask (a laptop's, as read from one) ends before it.
constexpr const char* kMouseKeys = "70000 0 0 0 0";
constexpr const char* kKeyboardKeys = "1000000000007 ff9f207ac14057ff febeffdfffefffff fffffffffffffffe";

void fakeDevice(const TempDir& root, const std::string& name, const char* keys) {
    writeTextFile(root / "sys" / name / "device" / "capabilities" / "key", std::string(keys) + "\n");
}

TEST(EvdevButtonsTest, PointerDevicesAreFoundByTheirSysfsCapabilitiesAndReadThroughTheirNodes) {
    EXPECT_TRUE(capabilityBitSet(kMouseKeys, BTN_LEFT));
    EXPECT_FALSE(capabilityBitSet(kKeyboardKeys, BTN_LEFT));
    EXPECT_FALSE(capabilityBitSet("60000 0 0 0 0", BTN_LEFT)) << "the right and middle buttons only";
    EXPECT_FALSE(capabilityBitSet("zz 0 0 0 0", BTN_LEFT));
    EXPECT_FALSE(capabilityBitSet("", BTN_LEFT));

    TempDir root;
    fakeDevice(root, "event0", kKeyboardKeys);
    fakeDevice(root, "event1", kMouseKeys);
    fakeDevice(root, "event2", kMouseKeys);                        // listed, but its node is gone (unplugged meanwhile)
    fakeDevice(root, "mouse0", kMouseKeys);                        // the legacy mouse interface, not an event device
    std::filesystem::create_directories(root / "sys" / "event3");  // no capabilities at all
    std::filesystem::create_directories(root / "dev");
    for (const char* name : {"event0", "event1", "mouse0", "event3"}) {
        ASSERT_EQ(::mkfifo((root / "dev" / name).c_str(), 0600), 0);
    }
    // The node stands in for the kernel's device: the test writes its records.
    FileDescriptor node(::open((root / "dev" / "event1").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_GE(node.get(), 0);

    auto scan = openPointerDevices({root / "sys", root / "dev"});
    ASSERT_EQ(scan.readable.size(), 1u);
    EXPECT_TRUE(scan.denied.empty());

    ButtonLog log;
    EvdevButtonReader reader(std::move(scan.readable), log.callback());
    send(node.get(), leftButton(true));
    send(node.get(), leftButton(false));
    EXPECT_EQ(log.waitFor(2), (std::vector<bool>{true, false}));

    // Without sysfs (a container) there is nothing, and no error.
    const auto none = openPointerDevices({root / "missing", root / "dev"});
    EXPECT_TRUE(none.readable.empty());
    EXPECT_TRUE(none.denied.empty());
}

}  // namespace
}  // namespace orvane
