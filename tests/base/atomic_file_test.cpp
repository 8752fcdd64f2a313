#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/atomic_file.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

TEST(AtomicFile, ReplacesWholeFileAndLeavesNoTemporaries) {
    testing::TempDir dir;
    const auto target = dir / "meta.json";
    writeFileAtomically(target, "first");
    writeFileAtomically(target, "second, longer");
    EXPECT_EQ(readFileContents(target), "second, longer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    writeFileAtomically(dir / "secret", "x", 0600);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "secret").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFile, FailedWriteKeepsPreviousContents) {
    testing::TempDir dir;
    const auto target = dir / "projects.json";
    writeFileAtomically(target, "[]");
    // A folder where the target should be: the rename fails, nothing may be lost or left behind.
    std::filesystem::create_directory(dir / "blocked");
    std::filesystem::create_directory(dir / "blocked" / "inner");
    EXPECT_THROW(writeFileAtomically(dir / "blocked", "data"), std::system_error);
    EXPECT_THROW(writeFileAtomically(dir / "missing-folder" / "x.json", "data"), std::system_error);
    EXPECT_EQ(readFileContents(target), "[]");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_FALSE(readFileContents(dir / "absent"));
}

TEST(AtomicFile, ReadsOnlyRegularFilesWithinTheLimit) {
    testing::TempDir dir;
    testing::writeTextFile(dir / "small.json", std::string(100, 'a'));
    EXPECT_EQ(readFileContents(dir / "small.json", 100)->size(), 100u);
    EXPECT_FALSE(readFileContents(dir / "small.json", 99));
    // Something that is not a file answers at once: a pipe nobody writes to, a device without end,
    // a link to that device, a folder.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(readFileContents(dir / "pipe"));
    EXPECT_FALSE(readFileContents("/dev/zero"));
    std::filesystem::create_symlink("/dev/zero", dir / "zero.json");
    EXPECT_FALSE(readFileContents(dir / "zero.json"));
    EXPECT_FALSE(readFileContents(dir.path()));
    // A file whose size the system does not know in advance is read to its end.
    EXPECT_TRUE(readFileContents("/proc/self/status").value_or("").find("Name:") != std::string::npos);
}

TEST(AtomicFile, PartialSiblingIsHiddenUniqueAndKeepsTheExtension) {
    const std::filesystem::path target = "/rec/clip-1.mp4";
    const auto a = partialSiblingPath(target);
    EXPECT_EQ(a.parent_path(), target.parent_path());
    EXPECT_EQ(a.extension(), ".mp4");
    EXPECT_EQ(a.filename().string().rfind(".clip-1-", 0), 0u);
    EXPECT_NE(partialSiblingPath(target), a);
}

}  // namespace
}  // namespace orvane
