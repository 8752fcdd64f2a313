#include "platform/linux/detached_launch.h"

#include <fcntl.h>
#include <spawn.h>

#include <memory>
#include <system_error>

extern char** environ;

namespace orvane {

namespace {

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct Attributes {
    posix_spawnattr_t attributes;
    Attributes() { posix_spawnattr_init(&attributes); }
    ~Attributes() { posix_spawnattr_destroy(&attributes); }
};

}  // namespace

void launchDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    FileActions files;
    for (const int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&files.actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    Attributes attributes;
    // A new session: closing the terminal (SIGHUP) must not take the studio with it.
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int failed =
        ::posix_spawn(&child, argv[0].c_str(), &files.actions, &attributes.attributes, pointers.data(), environ);
    if (failed != 0) throw std::system_error(failed, std::generic_category(), "Couldn't start " + argv[0]);
}

}  // namespace orvane
