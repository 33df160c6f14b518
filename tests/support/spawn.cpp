#include "support/spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <unistd.h>

namespace quirlomat::testing {

namespace {

// The null-terminated array of char* that posix_spawn takes for argv and envp, pointing into
// strings, which must outlive the call.
std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

void Route(posix_spawn_file_actions_t* actions, const Stream& stream, int target) {
    if (stream.fd >= 0) {
        (void)posix_spawn_file_actions_adddup2(actions, stream.fd, target);
        return;
    }
    const char* path = stream.path.empty() ? "/dev/null" : stream.path.c_str();
    const int flags = target == STDIN_FILENO ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    (void)posix_spawn_file_actions_addopen(actions, target, path, flags, 0644);
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
    std::vector<std::string> arguments = argv;
    std::vector<char*> argp = Pointers(arguments);
    std::vector<std::string> environment = options.environment;
    std::vector<char*> envp = Pointers(environment);

    posix_spawn_file_actions_t actions;
    (void)posix_spawn_file_actions_init(&actions);
    Route(&actions, options.input, STDIN_FILENO);
    Route(&actions, options.output, STDOUT_FILENO);
    Route(&actions, options.error, STDERR_FILENO);
    posix_spawnattr_t attributes;
    (void)posix_spawnattr_init(&attributes);
    switch (options.group) {
        case SpawnOptions::Group::kTests:
            break;
        case SpawnOptions::Group::kOwnGroup:
            (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
            (void)posix_spawnattr_setpgroup(&attributes, 0);
            break;
        case SpawnOptions::Group::kOwnSession:
            (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
            break;
    }
    pid_t pid = -1;
    const int failure = posix_spawnp(&pid, argp[0], &actions, &attributes, argp.data(),
                                     options.environment.empty() ? environ : envp.data());
    (void)posix_spawnattr_destroy(&attributes);
    (void)posix_spawn_file_actions_destroy(&actions);
    if (failure != 0) {
        throw std::runtime_error("cannot start " + argv.front());
    }
    return pid;
}

}  // namespace quirlomat::testing
