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
