#include "keeper/wayland/piped_keeper.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "keeper/common/hand_off_protocol.h"
#include "support/spawn_arguments.h"

namespace quirlomat::testing {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PipedKeeper::PipedKeeper(const std::vector<std::string>& argv) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("PipedKeeper: pipe2 failed");
    }
    std::vector<std::string> strings = argv;
    std::vector<char*> pointers = SpawnArguments(strings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int failure =
        posix_spawnp(&pid_, pointers[0], &actions, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (failure != 0) {
        close(input_);
        close(output_);
        throw std::runtime_error("PipedKeeper: cannot start " + argv.front());
    }
    // A keeper that stopped reading must not block the test.
    (void)fcntl(input_, F_SETFL, O_NONBLOCK);
    (void)std::signal(SIGPIPE, SIG_IGN);
}

PipedKeeper::~PipedKeeper() {
    if (!HasEnded()) {
        (void)kill(pid_, SIGKILL);
        (void)waitpid(pid_, nullptr, 0);
    }
    CloseInput();
    if (output_ >= 0) {
        close(output_);
    }
}

std::string PipedKeeper::ReadLine(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const std::size_t end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        pollfd readable{output_, POLLIN, 0};
        if (output_ < 0 || poll(&readable, 1, MillisecondsLeft(deadline)) <= 0) {
            return "";
        }
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            return "";
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string PipedKeeper::ReadRest(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd readable{output_, POLLIN, 0};
        if (output_ < 0 || poll(&readable, 1, MillisecondsLeft(deadline)) <= 0) {
            break;
        }
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            break;
        }
        buffered_.append(chunk, static_cast<std::size_t>(got));
    }
    return std::exchange(buffered_, {});
}

void PipedKeeper::Write(std::string_view bytes) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!bytes.empty() && input_ >= 0) {
        const ssize_t written = write(input_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return;  // the keeper has closed its input
        }
        pollfd writable{input_, POLLOUT, 0};
        if (poll(&writable, 1, MillisecondsLeft(deadline)) <= 0) {
            throw std::runtime_error("PipedKeeper: the keeper reads nothing");
        }
    }
}

void PipedKeeper::CloseInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

void PipedKeeper::HandOff(std::string_view text) {
    char header[hand_off::kLongestHeader];
    Write({header, hand_off::WriteHeader(text.size(), header)});
    Write(text);
    CloseInput();
}

bool PipedKeeper::HasEnded() {
    if (status_ != -2) {
        return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    return false;
}

int PipedKeeper::WaitForExit(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!HasEnded() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return HasEnded() ? status_ : -1;
}

}  // namespace quirlomat::testing
