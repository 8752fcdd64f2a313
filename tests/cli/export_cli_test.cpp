#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "cli_fixture.h"
#include "media/media_probe.h"

extern char** environ;

namespace orvane {
namespace {

using ::testing::HasSubstr;

class ExportCliTest : public CliTest {
protected:
    // Imports a sample with a tone and answers its id.
    std::string importSample(double seconds, int width = 320, int height = 240) {
        const auto path = home_ / "rec.mp4";
        SampleVideoSpec options;
        options.width = width;
        options.height = height;
        options.seconds = seconds;
        options.withAudio = true;
        writeSampleVideo(path, options);
        const auto imported = runJson({"import", path.string(), "--json"});
        return imported["id"].get<std::string>();
    }

    // Starts an export with stderr on a pipe, waits for the render to begin, then sends `signal`.
    testing::CliResult interruptedExport(const std::vector<std::string>& arguments, int signal) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("XDG_", 0) != 0 && entry.rfind("HOME=", 0) != 0) env.push_back(entry);
        }
        env.push_back("HOME=" + home_.path().string());
        env.push_back("XDG_DATA_HOME=" + (home_ / "data").string());
        env.push_back("XDG_CONFIG_HOME=" + (home_ / "config").string());
        env.push_back("XDG_CACHE_HOME=" + (home_ / "cache").string());
        std::vector<std::string> argv{ORVANE_CLI_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> args, envs;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        for (auto& e : env) envs.push_back(e.data());
        envs.push_back(nullptr);

        int pipeEnds[2];
        EXPECT_EQ(::pipe(pipeEnds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envs.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);

        testing::CliResult result;
        char buffer[4096];
        bool sent = false;
        ssize_t got = 0;
        while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
            result.err.append(buffer, static_cast<std::size_t>(got));
            if (!sent && result.err.find("Rendering video") != std::string::npos) {
                ::kill(pid, signal);
                sent = true;
            }
        }
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }
};

TEST_F(ExportCliTest, DryRunPrintsTheProfileAndWritesNothing) {
    const auto id = importSample(1);
    const auto out = (home_ / "out.mp4").string();
    // A small recording is not blown up to the preset's frame.
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json"}),
              Json::parse(R"({"width":320,"height":240,"fps":60,"bitrate":850000,"quality":"automatic"})"));
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json", "--preset", "vertical", "--quality", "high",
                       "--fps", "24", "--max-long-edge", "1280"}),
              Json::parse(R"({"width":720,"height":1280,"fps":24,"bitrate":4096000,"quality":"high"})"));
    // One second at a 0.01 MB target: 10000 x 8 x 0.78 is below the floor.
    EXPECT_EQ(runJson({"export", id, "--out", out, "--dry-run", "--json", "--target-mb", "0.01"})["bitrate"], 180000);
    const auto gif = runJson({"export", id, "--out", (home_ / "a.GIF").string(), "--dry-run", "--json"});
    EXPECT_EQ(gif["fps"], 24);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExportCliTest, BadRequestsFailBeforeRendering) {
    const auto id = importSample(1);
    auto result = run({"export", id, "--out", (home_ / "a.gif").string(), "--preset", "web1080"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("needs --preset gif"));
    result = run({"export", id, "--out", (home_ / "a.mp4").string(), "--fps", "25"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("--fps takes auto, 24, 30 or 60"));
    result = run({"export", id, "--out", (home_ / "missing" / "a.mp4").string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("does not exist"));
    EXPECT_EQ(run({"export", "FFFFFFFF", "--out", (home_ / "a.mp4").string()}).exitCode, 3);
}

TEST_F(ExportCliTest, ExportsTheEditWithItsSoundAndAGif) {
    const auto id = importSample(1);
    const auto out = home_ / "edit.mp4";
    const auto exported = runJson({"export", id, "--out", out.string(), "--fps", "24", "--json"});
    EXPECT_EQ(exported["file"], out.string());
    EXPECT_THAT(exported["log"].get<std::string>(), HasSubstr("MP4 exported with mixed audio"));
    const auto info = probeMedia(out);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->hasAudio);
    EXPECT_EQ(info->videoSize, (Size{320, 240}));
    EXPECT_NEAR(info->durationSeconds.value_or(0), 1.0, 0.1);

    const auto gif = home_ / "edit.gif";
    const auto result = run({"export", id, "--out", gif.string(), "--max-long-edge", "160"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(probeMedia(gif)->videoSize, (Size{160, 120}));
}

TEST_F(ExportCliTest, InterruptCancelsAndLeavesNothingBehind) {
    const auto id = importSample(8, 640, 360);
    const auto out = home_ / "long.mp4";
    testing::writeTextFile(out, "earlier export");
    const auto result = interruptedExport({"export", id, "--out", out.string(), "--preset", "vertical"}, SIGINT);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_THAT(result.err, HasSubstr("Export cancelled"));
    EXPECT_EQ(testing::readTextFile(out), "earlier export");
    for (const auto& entry : fs::directory_iterator(home_.path())) {
        EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr(".partial")));
    }
}

}  // namespace
}  // namespace orvane
