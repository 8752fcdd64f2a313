#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "base/atomic_file.h"
#include "base/text.h"
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

// In a child with its own mount namespace (as root, or through a user namespace), mounts a tmpfs
// of 16 KiB over `folder`, writes "[]" to `name` there, fills the disk and replaces the file with
// 64 KiB. Answers the failure's text followed by "|" and the file's contents afterwards, or
// nothing when the namespace or the mount is not allowed here.
std::optional<std::string> replaceOnFullDisk(const std::filesystem::path& folder, const std::string& name) {
    int ends[2];
    if (::pipe(ends) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(2);
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
            std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k") != 0) {
            ::_exit(2);
        }
        std::string answer;
        try {
            writeFileAtomically(folder / name, "[]");
            std::ofstream(folder / "filler") << std::string(64 * 1024, 'x');
            writeFileAtomically(folder / name, std::string(64 * 1024, 'y'));
            answer = "replaced";
        } catch (const std::system_error& error) {
            answer = error.what();
        }
        answer += "|" + readFileContents(folder / name).value_or("(unreadable)");
        [[maybe_unused]] const auto written = ::write(ends[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(ends[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, got);
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return answer;
}

TEST(AtomicFile, AFullDiskIsReportedAsSuchAndKeepsThePreviousFile) {
    testing::TempDir dir;
    const auto answer = replaceOnFullDisk(dir.path(), "projects.json");
    if (!answer) GTEST_SKIP() << "no mount namespace for a small tmpfs here (needs root or user namespaces)";
    EXPECT_NE(answer->find("the disk is full"), std::string::npos) << *answer;
    EXPECT_NE(answer->find("projects.json"), std::string::npos) << *answer;
    EXPECT_TRUE(answer->ends_with("|[]")) << *answer;
}

TEST(TerminalSafeText, EscapesWhatCouldTakeOverATerminalAndKeepsTheRest) {
    EXPECT_EQ(terminalSafeText("Plain, caf\xC3\xA9 \xF0\x9F\x8E\xAC \xE6\x97\xA5\xE6\x9C\xAC"),
              "Plain, caf\xC3\xA9 \xF0\x9F\x8E\xAC \xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(terminalSafeText("a\x1b[2Jb\tc\n\x7f"), "a\\u001B[2Jb\\u0009c\\u000A\\u007F");
    // C1 controls, the bidirectional overrides and isolates, and the Arabic letter mark.
    EXPECT_EQ(terminalSafeText("\xC2\x9B\xE2\x80\xAE\xE2\x81\xA6\xD8\x9C\xE2\x80\x8F"),
              "\\u009B\\u202E\\u2066\\u061C\\u200F");
    // Bytes that are not UTF-8 (a lone 8-bit CSI, an overlong slash, a cut sequence) are shown as bytes.
    EXPECT_EQ(terminalSafeText("\x9b\xC0\xAF\xE2\x80"), "\\x9B\\xC0\\xAF\\xE2\\x80");
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
