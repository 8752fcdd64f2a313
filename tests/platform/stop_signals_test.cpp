#include "platform/linux/stop_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "base/event_loop.h"

namespace orvane {
namespace {

TEST(StopSignals, CtrlCAndSigtermCallBackOnTheLoopAndALateOneIsDropped) {
    EventLoop loop;
    int calls = 0;
    {
        StopSignals signals(loop, [&] {
            ++calls;
            loop.stop();
        });
        for (const int signal : {SIGINT, SIGTERM}) {
            ::kill(::getpid(), signal);
            loop.run();  // ends only through the callback
        }
        EXPECT_EQ(calls, 2);
        // One more arrives while nobody runs the loop; the command is already over.
        ::kill(::getpid(), SIGINT);
    }
    // The process is still here, and the late signal's call does nothing.
    loop.post([&] { loop.stop(); });
    loop.run();
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace orvane
