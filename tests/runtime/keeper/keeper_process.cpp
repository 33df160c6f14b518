#include "keeper_process.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace quirlomat::testing {

namespace {

constexpr int kExitTimeoutMs = 20000;

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // the keeper stopped reading; its status line says why
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

KeeperProcess::KeeperProcess(const std::string& path, std::string_view text) {
    // A keeper that refuses the text stops reading; the write must then fail, not kill the test.
    (void)signal(SIGPIPE, SIG_IGN);
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("KeeperProcess: pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const int failure = posix_spawn(&pid_, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    if (failure != 0) {
        close(input[1]);
        close(output[0]);
        pid_ = -1;
        throw std::runtime_error("KeeperProcess: cannot start " + path);
    }
    // The keeper reads all of its input before it says anything, so writing first cannot
    // dead-lock.
    WriteAll(input[1], text);
    close(input[1]);
    char c = 0;
    while (read(output[0], &c, 1) == 1 && c != '\n') {
        status_.push_back(c);
    }
    close(output[0]);
}

KeeperProcess::~KeeperProcess() {
    if (pid_ > 0) {
        (void)kill(pid_, SIGKILL);
        (void)waitpid(pid_, nullptr, 0);
    }
}

int KeeperProcess::WaitForExit() {
    const timespec pause{0, 10'000'000};
    for (int waited = 0; waited < kExitTimeoutMs; waited += 10) {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        nanosleep(&pause, nullptr);
    }
    return -1;
}

}  // namespace quirlomat::testing
