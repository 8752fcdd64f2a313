#include "platform/linux/instance_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

// A raw client that writes exactly `bytes`, for senders that do not follow the protocol.
void sendRaw(const std::filesystem::path& path, const std::string& bytes) {
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t sent = ::send(socket.get(), rest.data(), rest.size(), MSG_NOSIGNAL);
        ASSERT_GT(sent, 0);
        rest.remove_prefix(static_cast<std::size_t>(sent));
    }
}

TEST(InstanceChannel, SecondInstanceHandsItsArgumentsToTheFirst) {
    testing::TempDir dir;
    const auto path = dir / "orvane" / "studio.sock";
    EXPECT_FALSE(InstanceChannel::handOver({"orvane://record"}, path));  // nobody yet

    InstanceChannel first(path);
    ASSERT_TRUE(first.listen());
    struct stat info {};
    ASSERT_EQ(::stat(path.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    InstanceChannel second(path);
    EXPECT_EQ(second.listen(), std::nullopt);
    EXPECT_TRUE(first.acceptPending().empty());

    EXPECT_TRUE(InstanceChannel::handOver({"orvane://record?source=window"}, path));
    EXPECT_TRUE(InstanceChannel::handOver({"--new-window", "caf\xC3\xA9 \"quoted\"\n"}, path));
    const auto messages = first.acceptPending();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], InstanceMessage{"orvane://record?source=window"});
    EXPECT_EQ(messages[1], (InstanceMessage{"--new-window", "caf\xC3\xA9 \"quoted\"\n"}));
    EXPECT_THROW(InstanceChannel::handOver({std::string(InstanceChannel::kMaxMessageBytes, 'x')}, path),
                 std::invalid_argument);
}

TEST(InstanceChannel, StaleSocketIsReplacedAndTheFileGoesWithItsListener) {
    testing::TempDir dir;
    const auto path = dir / "s" / "studio.sock";
    std::filesystem::create_directories(path.parent_path());
    {
        // A socket bound and abandoned, as a crashed studio leaves it.
        FileDescriptor dead(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(dead.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(InstanceChannel::handOver({"x"}, path));

    {
        InstanceChannel channel(path);
        ASSERT_TRUE(channel.listen());
        EXPECT_TRUE(InstanceChannel::handOver({"y"}, path));
        EXPECT_EQ(channel.acceptPending(), std::vector<InstanceMessage>{{"y"}});
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    InstanceChannel again(path);
    EXPECT_TRUE(again.listen());
}

TEST(InstanceChannel, GarbageSendersAreIgnoredWithoutLosingGoodMessages) {
    testing::TempDir dir;
    const auto path = dir / "studio.sock";
    InstanceChannel channel(path);
    ASSERT_TRUE(channel.listen());

    sendRaw(path, "not json\n{\"a\":1}\n[1,2]\n[\"ok\"]\n");
    sendRaw(path, std::string(InstanceChannel::kMaxMessageBytes + 10, '[') + "\n[\"after\"]\n");
    sendRaw(path, "[\"no newline\"]");  // closes before finishing its line
    {
        // A sender that connects and says nothing must not hold the studio up.
        FileDescriptor silent(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::connect(silent.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_TRUE(InstanceChannel::handOver({"last"}, path));
        const auto messages = channel.acceptPending();
        EXPECT_EQ(messages, (std::vector<InstanceMessage>{{"ok"}, {"after"}, {"last"}}));
    }
}

TEST(InstanceChannel, DefaultPathFollowsTheRuntimeFolder) {
    {
        testing::ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1234");
        EXPECT_EQ(InstanceChannel::defaultSocketPath(), "/run/user/1234/orvane/studio.sock");
    }
    testing::ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(InstanceChannel::defaultSocketPath(),
              std::filesystem::path("/tmp") / ("orvane-" + std::to_string(::getuid())) / "studio.sock");
}

TEST(InstanceChannel, RefusesAFolderOpenToOthersOrTooLongAPath) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "open");
    ::chmod((dir / "open").c_str(), 0777);
    InstanceChannel channel(dir / "open" / "studio.sock");
    ASSERT_TRUE(channel.listen());  // our own folder is tightened, not refused
    struct stat info {};
    ASSERT_EQ(::stat((dir / "open").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    InstanceChannel tooLong(dir / std::string(120, 'n') / "studio.sock");
    EXPECT_THROW(tooLong.listen(), std::exception);
}

}  // namespace
}  // namespace orvane
