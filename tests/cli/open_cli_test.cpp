#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "cli_runner.h"
#include "platform/linux/instance_channel.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::runOrvane;

class OpenCliTest : public ::testing::Test {
protected:
    OpenCliTest() { std::filesystem::create_directories(dir / "home"); }

    std::vector<std::string> environment(const std::filesystem::path& studio) const {
        return {"XDG_RUNTIME_DIR=" + (dir / "runtime").string(), "ORVANE_STUDIO=" + studio.string()};
    }

    testing::TempDir dir;
    std::filesystem::path socket = dir / "runtime" / "orvane" / "studio.sock";
};

TEST_F(OpenCliTest, LinkGoesToTheRunningStudio) {
    std::filesystem::create_directories(dir / "runtime");
    InstanceChannel studio(socket);
    ASSERT_TRUE(studio.listen());

    const auto result = runOrvane(dir / "home", {"open", "orvane://record?source=window"}, environment(dir / "none"));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Handed the link to the running studio"), std::string::npos) << result.out;
    EXPECT_EQ(studio.acceptPending(), std::vector<InstanceMessage>{{"orvane://record?source=window"}});

    // Links of other schemes are refused before anything is handed over.
    const auto refused = runOrvane(dir / "home", {"open", "https://example.com"}, environment(dir / "none"));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("Not an Orvane link: https://example.com"), std::string::npos) << refused.err;
    EXPECT_TRUE(studio.acceptPending().empty());
}

TEST_F(OpenCliTest, WithoutAStudioRunningItIsStartedOrNamedAsMissing) {
    const auto missing = runOrvane(dir / "home", {"open", "zant://import?v=x"}, environment(dir / "none"));
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("The studio is not installed: " + (dir / "none").string()), std::string::npos)
        << missing.err;

    // A stand-in studio that notes the arguments it was started with.
    const auto studio = dir / "bin" / "orvane-studio";
    const auto noted = dir / "started-with";
    testing::writeTextFile(studio, "#!/bin/sh\nprintf '%s' \"$1\" > '" + noted.string() + ".tmp'\nmv '" +
                                       noted.string() + ".tmp' '" + noted.string() + "'\n");
    ::chmod(studio.c_str(), 0755);
    const auto started = runOrvane(dir / "home", {"open", "orvane://record"}, environment(studio));
    EXPECT_EQ(started.exitCode, 0) << started.err;
    EXPECT_NE(started.out.find("Started the studio with the link: " + studio.string()), std::string::npos);
    for (int i = 0; i < 500 && !std::filesystem::exists(noted); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(std::filesystem::exists(noted));
    EXPECT_EQ(testing::readTextFile(noted), "orvane://record");
}

}  // namespace
}  // namespace orvane
