#include "support/keeper_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "clipboard/contract/hand_off_protocol.h"
#include "support/spawn.h"

namespace quirlomat::testing {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

KeeperProcess::KeeperProcess(const std::string& path)
    : KeeperProcess(std::vector<std::string>{path}) {}

KeeperProcess::KeeperProcess(const std::vector<std::string>& command) {
    // A keeper that refuses the text stops reading; the write must then fail, not kill the
    // test.
    (void)std::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        throw std::runtime_error("KeeperProcess: pipe2 failed");
    }
    SpawnOptions options;
    options.input.fd = in[0];
    options.output.fd = out[1];
    options.error.fd = STDERR_FILENO;
    options.group = SpawnOptions::Group::kOwnSession;
    try {
        pid_ = Spawn(command, options);
    } catch (...) {
        for (const int fd : {in[0], in[1], out[0], out[1]}) {
            close(fd);
        }
        throw;
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    // A keeper that stopped reading must not block the test.
    (void)fcntl(input_, F_SETFL, O_NONBLOCK);
}

KeeperProcess::KeeperProcess(const std::string& path, std::string_view text) : KeeperProcess(path) {
    status_ = HandOver(text);
}

KeeperProcess::~KeeperProcess() {
    if (!HasEnded()) {
        (void)kill(pid_, SIGKILL);
        (void)waitpid(pid_, nullptr, 0);
    }
    CloseInput();
    if (output_ >= 0) {
        close(output_);
    }
}

std::string KeeperProcess::ReadLine(int timeoutMs) {
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

std::string KeeperProcess::ReadRest(int timeoutMs) {
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

void KeeperProcess::Write(std::string_view bytes) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
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
            throw std::runtime_error("KeeperProcess: the keeper reads nothing");
        }
    }
}

void KeeperProcess::CloseInput() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

void KeeperProcess::HandOff(std::string_view text) {
    char header[hand_off::kLongestHeader];
    Write({header, hand_off::WriteHeader(text.size(), header)});
    Write(text);
    CloseInput();
}

std::string KeeperProcess::HandOver(std::string_view text) {
    std::string ready = ReadLine();
    if (ready != hand_off::kReady) {
        return ready;
    }
    HandOff(text);
    return ReadLine();
}

bool KeeperProcess::HasEnded() {
    if (exit_ != -2) {
        return true;
    }
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    return pid_ <= 0;
}

int KeeperProcess::WaitForExit(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!HasEnded() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return HasEnded() ? exit_ : -1;
}

}  // namespace quirlomat::testing
