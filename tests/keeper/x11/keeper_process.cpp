#include "keeper_process.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "keeper/common/hand_off_protocol.h"
#include "support/spawn_arguments.h"

namespace quirlomat::testing {

namespace {

using Clock = std::chrono::steady_clock;

// Generous: sanitized keepers on a loaded machine answer slowly, and a keeper that does
// not answer at all must fail the test, not hang it.
constexpr std::chrono::milliseconds kPatience{20000};

}  // namespace

KeeperProcess::KeeperProcess(const std::string& path)
    : KeeperProcess(std::vector<std::string>{path}) {}

KeeperProcess::KeeperProcess(const std::vector<std::string>& command) {
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
    std::vector<std::string> arguments = command;
    std::vector<char*> argv = SpawnArguments(arguments);
    const int failure = posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    output_ = output[0];
    if (failure != 0) {
        pid_ = -1;
        throw std::runtime_error("KeeperProcess: cannot start " + command.front());
    }
}

KeeperProcess::KeeperProcess(const std::string& path, std::string_view text) : KeeperProcess(path) {
    status_ = HandOver(text);
}

KeeperProcess::~KeeperProcess() {
    CloseInput();
    if (output_ >= 0) {
        close(output_);
    }
    if (pid_ > 0) {
        (void)kill(pid_, SIGKILL);
        (void)waitpid(pid_, nullptr, 0);
    }
}

std::string KeeperProcess::ReadLine() {
    const Clock::time_point deadline = Clock::now() + kPatience;
    for (;;) {
        if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{output_, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            return {};
        }
        char buffer[256];
        const ssize_t got = read(output_, buffer, sizeof buffer);
        if (got <= 0) {
            return {};
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

void KeeperProcess::Write(std::string_view bytes) {
    while (!bytes.empty() && input_ >= 0) {
        const ssize_t written = write(input_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // the keeper stopped reading; its status line says why
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void KeeperProcess::CloseInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

std::string KeeperProcess::HandOver(std::string_view text) {
    std::string ready = ReadLine();
    if (ready != hand_off::kReady) {
        return ready;
    }
    char header[hand_off::kLongestHeader];
    Write({header, hand_off::WriteHeader(text.size(), header)});
    Write(text);
    CloseInput();
    return ReadLine();
}

int KeeperProcess::WaitForExit() {
    const Clock::time_point deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace quirlomat::testing
