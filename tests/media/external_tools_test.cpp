#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "media/external_tools.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

fs::path writeScript(const fs::path& path, const std::string& body, bool executable = true) {
    testing::writeTextFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    return path;
}

TEST(ExternalTools, LocateTakesTheFirstExecutableInFolderOrder) {
    testing::TempDir dir;
    const auto bundled = dir / "libexec";
    const auto local = dir / "local";
    const auto system = dir / "system";
    for (const auto& folder : {bundled, local, system}) fs::create_directories(folder);
    const std::vector<fs::path> folders = {bundled, local, system};

    EXPECT_EQ(FFmpegTool::locate("ffmpeg", folders), std::nullopt);

    writeScript(system / "ffmpeg", "exit 0");
    writeScript(local / "ffmpeg", "exit 0", /*executable=*/false);  // not executable: skipped
    fs::create_directories(bundled / "ffprobe");                     // a folder is no tool
    EXPECT_EQ(FFmpegTool::locate("ffmpeg", folders), system / "ffmpeg");
    EXPECT_EQ(FFmpegTool::locate("ffprobe", folders), std::nullopt);

    // The bundled copy wins even when the system has one.
    writeScript(dir / "real-ffmpeg", "exit 0");
    fs::create_symlink(dir / "real-ffmpeg", bundled / "ffmpeg");
    EXPECT_EQ(FFmpegTool::locate("ffmpeg", folders), bundled / "ffmpeg");
    EXPECT_EQ(FFmpegTool::locator(folders)("ffmpeg"), bundled / "ffmpeg");

    // Names are file names, never paths out of the search folders.
    writeScript(dir / "ffmpeg", "exit 0");
    EXPECT_EQ(FFmpegTool::locate("../ffmpeg", folders), std::nullopt);
    EXPECT_EQ(FFmpegTool::locate("", folders), std::nullopt);

    const auto defaults = defaultToolFolders();
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults[0].filename(), "orvane");
    EXPECT_EQ(defaults[0].parent_path().filename(), "libexec");
    EXPECT_EQ(defaults[1], "/usr/local/bin");
    EXPECT_EQ(defaults[2], "/usr/bin");
}

TEST(ExternalTools, RunPassesArgumentsUnchangedAndReturnsTheOutput) {
    testing::TempDir dir;
    const auto tool = writeScript(dir / "echo-args", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\necho done >&2");
    const auto output = FFmpegTool::run(tool, {"-i", "my movie.mov", "", "$HOME", "a'b\"c", "*"});
    EXPECT_EQ(output.standardOutput, "[-i]\n[my movie.mov]\n[]\n[$HOME]\n[a'b\"c]\n[*]\n");
    EXPECT_EQ(output.standardError, "done\n");
    EXPECT_EQ(output.text, output.standardOutput + output.standardError);

    // Bytes that are not UTF-8 give an empty text rather than a mangled one.
    const auto binary = FFmpegTool::run(writeScript(dir / "binary", "printf 'ok\\377\\376'"), {});
    EXPECT_EQ(binary.text, "");
    EXPECT_EQ(binary.standardOutput, "");
    EXPECT_TRUE(isValidUtf8("frame=12 — ✓ 🎬"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate

    // Standard input is empty, so a tool that reads it does not wait for a terminal.
    EXPECT_EQ(FFmpegTool::run(writeScript(dir / "cat", "cat; echo end"), {}).text, "end\n");
}

TEST(ExternalTools, ChattyToolOnBothStreamsCompletes) {
    testing::TempDir dir;
    // Far more than a pipe holds on each stream: a reader that took one stream at a time would deadlock.
    const auto tool = writeScript(dir / "chatty",
                                  "i=0; while [ $i -lt 6 ]; do"
                                  "  head -c 100000 /dev/zero | tr '\\0' o;"
                                  "  head -c 100000 /dev/zero | tr '\\0' e >&2;"
                                  "  i=$((i+1)); done");
    const auto output = FFmpegTool::run(tool, {});
    EXPECT_EQ(output.standardOutput, std::string(600000, 'o'));
    EXPECT_EQ(output.standardError, std::string(600000, 'e'));
    EXPECT_EQ(output.text.size(), 1200000u);
}

// The error a run fails with; a run that succeeds fails the test.
template <typename Error>
Error runFailure(const fs::path& tool) {
    try {
        FFmpegTool::run(tool, {});
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << tool << " did not fail as expected";
    throw std::logic_error("no failure");
}

TEST(ExternalTools, FailuresCarryWhatTheToolPrinted) {
    testing::TempDir dir;
    const auto silent = runFailure<ToolFailedError>(writeScript(dir / "silent", "exit 1"));
    EXPECT_STREQ(silent.what(), "FFmpeg failed.");
    EXPECT_EQ(silent.exitStatus(), 1);
    EXPECT_EQ(silent.terminatingSignal(), std::nullopt);

    const std::string noise(10000, 'x');
    const auto loud = runFailure<ToolFailedError>(
        writeScript(dir / "loud", "echo progress; printf '" + noise + "' >&2; echo 'in.mov: Invalid data' >&2; exit 3"));
    EXPECT_EQ(std::string(loud.what()), "progress\n" + noise + "in.mov: Invalid data\n");
    EXPECT_EQ(loud.exitStatus(), 3);
    EXPECT_EQ(loud.standardErrorTail().size(), FFmpegTool::kStandardErrorTailBytes);
    EXPECT_TRUE(loud.standardErrorTail().ends_with("xin.mov: Invalid data\n"));

    const auto crash = runFailure<ToolFailedError>(writeScript(dir / "crash", "kill -9 $$"));
    EXPECT_EQ(crash.terminatingSignal(), SIGKILL);
    EXPECT_EQ(crash.exitStatus(), 128 + SIGKILL);

    EXPECT_EQ(runFailure<ToolLaunchError>(dir / "missing").code(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(runFailure<ToolLaunchError>(writeScript(dir / "plain", "exit 0", false)).code(),
              std::errc::permission_denied);
}

// True once `pid` has gone or is only a zombie waiting for its parent.
bool processEnded(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const auto afterName = line.rfind(')');
    return afterName != std::string::npos && line.size() > afterName + 2 && line[afterName + 2] == 'Z';
}

TEST(ExternalTools, CancellationKillsTheToolAndWhatItStarted) {
    testing::TempDir dir;
    const auto marker = dir / "sleeper.pid";
    // The shell starts `sleep` as its own child, which would live on if only the shell were killed.
    const auto tool = writeScript(dir / "slow", "sleep 600 & echo $! > '" + marker.string() + ".tmp'; mv '" +
                                                    marker.string() + ".tmp' '" + marker.string() + "'; wait; echo late");

    std::stop_source stop;
    std::thread canceller([&] {
        while (!fs::exists(marker)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop.request_stop();
    });
    EXPECT_THROW(FFmpegTool::run(tool, {}, stop.get_token()), ToolCancelledError);
    canceller.join();

    // SIGKILL lands asynchronously; give the grandchild a generous bound to be gone.
    const std::string sleeper = testing::readTextFile(marker).substr(0, testing::readTextFile(marker).find('\n'));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!processEnded(sleeper) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(processEnded(sleeper)) << "sleep " << sleeper << " survived the cancellation";

    // Cancelled before it began: the tool is never started.
    fs::remove(marker);
    EXPECT_THROW(FFmpegTool::run(tool, {}, stop.get_token()), ToolCancelledError);
    EXPECT_FALSE(fs::exists(marker));
}

}  // namespace
}  // namespace orvane
