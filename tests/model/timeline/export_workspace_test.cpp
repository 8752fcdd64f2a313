#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "model/export_workspace.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::readTextFile;
using testing::TempDir;
using ::testing::UnorderedElementsAre;
using testing::writeTextFile;

// Runs `work` in a child process that then ends without any clean-up, as a killed export would.
void inAProcessThatDies(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

TEST(ExportWorkspace, FoldersOfDeadExportsAreSweptAndNothingElse) {
    TempDir temp;
    inAProcessThatDies([&] {
        ExportWorkspace workspace(temp.path(), "web1080");
        writeTextFile(workspace.file("segment-0.mp4"), "half a segment");
        ::_exit(0);
    });
    ASSERT_EQ(namesIn(temp.path()).size(), 1u);
    // Not ours to judge: a folder without a lock, another program's locked folder, a plain file.
    fs::create_directories(temp / "Orvane-unlocked");
    writeTextFile(temp / "Other-app" / ".lock", "");
    writeTextFile(temp / "Orvane-notes.txt", "kept");

    std::optional<ExportWorkspace> live;
    live.emplace(temp.path(), "segments");
    EXPECT_EQ(live->folder().parent_path(), temp.path());
    EXPECT_EQ(live->folder().filename().string().rfind("Orvane-segments-", 0), 0u);
    writeTextFile(live->file("segment-1.mp4"), "frames");
    const auto liveName = live->folder().filename().string();
    EXPECT_THAT(namesIn(temp.path()),
                UnorderedElementsAre("Orvane-unlocked", "Other-app", "Orvane-notes.txt", liveName));

    {
        // A second export running meanwhile leaves the first one's files alone.
        const ExportWorkspace second(temp.path(), "gif");
        EXPECT_EQ(removeAbandonedWorkspaces(temp.path()), 0);
        EXPECT_EQ(readTextFile(live->file("segment-1.mp4")), "frames");
        EXPECT_EQ(namesIn(temp.path()).size(), 5u);
    }
    const auto folder = live->folder();
    live.reset();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_THAT(namesIn(temp.path()), UnorderedElementsAre("Orvane-unlocked", "Other-app", "Orvane-notes.txt"));
}

TEST(LockedPartialFile, ReplacesOnlyOnCommitAndSweepsWhatDeadWritersLeft) {
    TempDir dir;
    const auto target = dir / "clip.mp4";
    writeTextFile(target, "earlier export");
    inAProcessThatDies([&] {
        LockedPartialFile partial(target);
        writeTextFile(partial.path(), "half a movie");
        ::_exit(0);
    });
    inAProcessThatDies([&] {
        LockedPartialFile partial(dir / "other.mp4");
        ::_exit(0);
    });
    ASSERT_EQ(namesIn(dir.path()).size(), 3u);
    // Another writer's unlocked partial of the same file cannot be told from a live one.
    writeTextFile(dir / ".clip-1A2B3C4D.partial.mp4", "someone else's");

    std::string abandonedOther;
    for (const auto& name : namesIn(dir.path())) {
        if (name.rfind(".other-", 0) == 0) abandonedOther = name;
    }
    ASSERT_FALSE(abandonedOther.empty());
    EXPECT_EQ(abandonedOther.size(), std::string(".other-1A2B3C4D.locked-partial.mp4").size());

    {
        LockedPartialFile partial(target);
        EXPECT_EQ(partial.path().extension(), ".mp4");
        EXPECT_EQ(partial.path().parent_path(), dir.path());
        const auto name = partial.path().filename().string();
        EXPECT_THAT(namesIn(dir.path()),
                    UnorderedElementsAre("clip.mp4", ".clip-1A2B3C4D.partial.mp4", abandonedOther, name));
        writeTextFile(partial.path(), "new export");
        {
            // A writer that fails leaves nothing; the live partial beside it is untouched.
            LockedPartialFile failing(target);
            EXPECT_NE(failing.path(), partial.path());
        }
        EXPECT_EQ(removeAbandonedPartials(target), 0);
        EXPECT_EQ(readTextFile(partial.path()), "new export");
        EXPECT_EQ(readTextFile(target), "earlier export");
        partial.commit();
    }
    EXPECT_EQ(readTextFile(target), "new export");
    EXPECT_THAT(namesIn(dir.path()), UnorderedElementsAre("clip.mp4", ".clip-1A2B3C4D.partial.mp4", abandonedOther));
    EXPECT_EQ(removeAbandonedPartials(dir / "other.mp4"), 1);

    // A folder that is gone fails clearly and leaves nothing.
    EXPECT_THROW(LockedPartialFile(dir / "missing" / "clip.mp4"), std::system_error);
}

}  // namespace
}  // namespace orvane
