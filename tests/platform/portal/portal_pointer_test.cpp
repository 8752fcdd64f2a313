#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "base/event_loop.h"
#include "base/manual_executor.h"
#include "platform/portal/cursor_video_producer.h"
#include "platform/portal/pipewire_stream.h"
#include "platform/portal/portal_pointer_source.h"
#include "recording/cursor_telemetry_recorder.h"
#include "support/pipewire_test_server.h"
#include "support/required_service.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::CursorVideoProducer;
using testing::TempDir;

// Sends `picture` until `arrived` holds: a producer may have no free buffer until the consumer
// gives one back. False when it never arrived within a generous bound.
bool deliver(CursorVideoProducer& producer, const CursorVideoProducer::Picture& picture,
             const std::function<bool()>& arrived) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool sent = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!sent) sent = producer.publish(picture);
        if (sent && arrived()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool at(const std::optional<PointerLocation>& seen, double x, double y) { return seen && seen->x == x && seen->y == y; }

TEST(PortalPointerTest, SamplesLandWhereTheStreamsCursorMetadataPutThePointer) {
    testing::PipeWireTestServer server;
    ORVANE_REQUIRE_SERVICE(server.unavailableReason().empty(), server.unavailableReason());

    CursorVideoProducer producer(server.connect(), 320, 200);
    const auto node = producer.waitForNode();
    ASSERT_TRUE(node) << "the test source got no node";
    auto connection = server.connect();
    PipeWireStream stream(::dup(connection.get()), *node, 60);
    const auto size = stream.waitForFormat(std::chrono::seconds(10));
    ASSERT_TRUE(size) << "no format was agreed";
    EXPECT_EQ(size->width, 320);
    EXPECT_EQ(size->height, 200);
    ASSERT_TRUE(producer.waitForStreaming());

    // A first picture: its pixels reach a grabber, its pointer the pointer source.
    ASSERT_TRUE(deliver(producer, {80, 50, true, true, 0x5a}, [&] { return at(stream.cursor(), 80, 50); }));
    ScreenFrame frame;
    stream.grabber(Rect{0, 0, 320, 200}, false)->grab(frame);
    ASSERT_EQ(frame.width, 320);
    EXPECT_EQ(frame.bgra[0], 0x5a);
    EXPECT_EQ(frame.bgra[3], 0xff);

    TempDir noDevices;
    PortalPointerSource pointer([&] { return stream.cursor(); }, {noDevices / "sys", noDevices / "dev"});
    ManualExecutor queue;
    CursorTelemetryRecorder recorder(pointer, queue, Rect{0, 0, 320, 200}, 60);
    recorder.start();
    EXPECT_FALSE(recorder.clickMonitorActive());
    const auto tick = std::chrono::duration_cast<Duration>(std::chrono::milliseconds(17));
    queue.runPending();

    // Off the picture: clamped to the nearest edges.
    ASSERT_TRUE(deliver(producer, {400, -30}, [&] { return at(stream.cursor(), 400, -30); }));
    queue.advance(tick);

    // A pointer-only update moves the pointer without a picture.
    const auto pictures = stream.receivedFrames();
    ASSERT_TRUE(deliver(producer, {160, 100, true, false}, [&] { return at(stream.cursor(), 160, 100); }));
    EXPECT_EQ(stream.receivedFrames(), pictures);
    queue.advance(tick);

    // A picture whose pointer is marked unknown keeps the last known place.
    ASSERT_TRUE(deliver(producer, {10, 10, false, true}, [&] { return stream.receivedFrames() > pictures; }));
    EXPECT_TRUE(at(stream.cursor(), 160, 100));
    queue.advance(tick);

    const auto telemetry = recorder.stop();
    ASSERT_EQ(telemetry.points.size(), 4u);
    const std::vector<std::pair<double, double>> expected{{0.25, 0.25}, {1, 0}, {0.5, 0.5}, {0.5, 0.5}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(telemetry.points[i].cx, expected[i].first) << "sample " << i;
        EXPECT_DOUBLE_EQ(telemetry.points[i].cy, expected[i].second) << "sample " << i;
        EXPECT_FALSE(telemetry.points[i].pressed);
    }
}

void send(int fd, std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    ASSERT_EQ(::write(fd, &event, sizeof event), static_cast<ssize_t>(sizeof event));
}

// One mouse in a folder laid out like sysfs and /dev/input, its node a FIFO the test writes to.
struct FakeMouse {
    TempDir root;
    InputDeviceFolders folders{root / "sys", root / "dev"};
    explicit FakeMouse(mode_t nodeMode = 0600) {
        testing::writeTextFile(folders.sysClassInput / "event5" / "device" / "capabilities" / "key", "70000 0 0 0 0\n");
        std::filesystem::create_directories(folders.devInput);
        ::mkfifo((folders.devInput / "event5").c_str(), nodeMode);
        ::chmod((folders.devInput / "event5").c_str(), nodeMode);
    }
};

TEST(PortalPointerTest, ClicksFromTheInputDevicesBecomePressedSamplesWhereThePointerIs) {
    FakeMouse mouse;
    FileDescriptor node(::open((mouse.folders.devInput / "event5").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_GE(node.get(), 0);
    int refusals = 0;
    PortalPointerSource pointer(
        [] {
            return PointerLocation{30, 40};
        },
        mouse.folders, [&](const std::vector<std::filesystem::path>&) { ++refusals; });
    SerialQueue queue("test.cursor");
    CursorTelemetryRecorder recorder(pointer, queue, Rect{0, 0, 100, 100}, 60);
    recorder.start();
    ASSERT_TRUE(recorder.clickMonitorActive());

    // A tap far shorter than a sample's interval still leaves a pressed sample.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    send(node.get(), EV_KEY, BTN_LEFT, 1);
    send(node.get(), EV_SYN, SYN_REPORT, 0);
    send(node.get(), EV_KEY, BTN_LEFT, 0);
    send(node.get(), EV_SYN, SYN_REPORT, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto telemetry = recorder.stop();
    EXPECT_EQ(refusals, 0);

    ASSERT_GE(telemetry.points.size(), 3u);
    EXPECT_FALSE(telemetry.points.front().pressed);
    EXPECT_FALSE(telemetry.points.back().pressed);
    const auto pressed = std::count_if(telemetry.points.begin(), telemetry.points.end(),
                                       [](const CursorTelemetryPoint& p) { return p.pressed; });
    EXPECT_GE(pressed, 1);
    for (const auto& point : telemetry.points) {
        EXPECT_DOUBLE_EQ(point.cx, 0.3);
        EXPECT_DOUBLE_EQ(point.cy, 0.4);
    }
}

// Runs `check` in a child process as an unprivileged user where the test runs as root (root reads
// any file whatever its mode) and answers its exit status.
int asUnprivilegedUser(const std::function<int()>& check) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(check());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(PortalPointerTest, DevicesTheUserMayNotReadAreReportedOnceSoTheUserCanBeToldWhy) {
    FakeMouse mouse(0600);
    // The unprivileged user must see the folders, and only the device node is closed to it.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(mouse.root.path())) {
        if (entry.is_directory()) ::chmod(entry.path().c_str(), 0755);
        if (entry.is_regular_file()) ::chmod(entry.path().c_str(), 0644);
    }
    ::chmod(mouse.root.path().c_str(), 0755);

    const int outcome = asUnprivilegedUser([&] {
        std::vector<std::filesystem::path> told;
        int calls = 0;
        PortalPointerSource pointer([] { return std::nullopt; }, mouse.folders,
                                    [&](const std::vector<std::filesystem::path>& denied) {
                                        told = denied;
                                        ++calls;
                                    });
        if (pointer.startButtonMonitor([](bool) {})) return 1;
        if (calls != 1) return 2;
        if (told != std::vector<std::filesystem::path>{mouse.folders.devInput / "event5"}) return 3;
        return 0;
    });
    EXPECT_EQ(outcome, 0) << "1: monitor started, 2: not told once, 3: told the wrong devices";

    // No pointer device at all (a virtual machine, a container): nothing to tell the user about.
    TempDir empty;
    int calls = 0;
    PortalPointerSource pointer([] { return std::nullopt; }, {empty / "sys", empty / "dev"},
                                [&](const std::vector<std::filesystem::path>&) { ++calls; });
    EXPECT_FALSE(pointer.startButtonMonitor([](bool) {}));
    EXPECT_EQ(calls, 0);
    // Before the stream reports a pointer, it is at the picture's top left.
    EXPECT_EQ(pointer.location().x, 0);
    EXPECT_EQ(pointer.location().y, 0);
}

}  // namespace
}  // namespace orvane
