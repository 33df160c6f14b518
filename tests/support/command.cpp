#include "support/command.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "support/spawn.h"

namespace quirlomat::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> Environment(const std::string& display,
                                     const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    auto replaced = [&extra](const std::string& entry) {
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
            entry.rfind("WAYLAND_DISPLAY=", 0) == 0) {
            return true;
        }
        for (const std::string& e : extra) {
            if (entry.compare(0, e.find('=') + 1, e, 0, e.find('=') + 1) == 0) {
                return true;
            }
        }
        return false;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!replaced(*e)) {
            env.emplace_back(*e);
        }
    }
    if (!display.empty()) {
        env.push_back("DISPLAY=" + display);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        read = ends[0];
        write = ends[1];
    }
};

pid_t Start(const std::vector<std::string>& argv, std::vector<std::string> env, int in, int out,
            int err) {
    SpawnOptions options;
    options.input.fd = in;
    options.output.fd = out;
    options.error.fd = err;
    options.environment = std::move(env);
    return Spawn(argv, options);
}

int DecodeStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& display,
                         const std::string& input, int timeoutMs) {
    Pipe in;
    Pipe out;
    Pipe err;
    const pid_t pid = Start(argv, Environment(display, {}), in.read, out.write, err.write);
    close(in.read);
    close(out.write);
    close(err.write);
    (void)fcntl(in.write, F_SETFL, O_NONBLOCK);

    CommandResult result;
    std::size_t written = 0;
    if (input.empty()) {
        close(in.write);
        in.write = -1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd fds[3] = {{outOpen ? out.read : -1, POLLIN, 0},
                         {errOpen ? err.read : -1, POLLIN, 0},
                         {in.write, POLLOUT, 0}};
        if (poll(fds, 3, static_cast<int>(left)) < 0 && errno != EINTR) {
            break;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
        if (in.write >= 0 && fds[2].revents != 0) {
            const ssize_t put = write(in.write, input.data() + written, input.size() - written);
            if (put > 0) {
                written += static_cast<std::size_t>(put);
            }
            if (put < 0 || written == input.size()) {
                close(in.write);
                in.write = -1;
            }
        }
    }
    if (in.write >= 0) {
        close(in.write);
    }
    close(out.read);
    close(err.read);

    int status = 0;
    while (Clock::now() < deadline) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.status = DecodeStatus(status);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    result.status = -1;
    return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv, const std::string& display,
                               const std::vector<std::string>& extraEnvironment,
                               const std::string& input) {
    Pipe err;
    std::optional<Pipe> in;
    if (!input.empty()) {
        in.emplace();
    }
    pid_ = Start(argv, Environment(display, extraEnvironment), in ? in->read : -1, -1, err.write);
    close(err.write);
    if (in) {
        // Small texts only: the program must read them before the pipe's buffer is full.
        close(in->read);
        const bool complete =
            write(in->write, input.data(), input.size()) == static_cast<ssize_t>(input.size());
        close(in->write);
        if (!complete) {
            throw std::runtime_error("cannot write the input of " + argv[0]);
        }
    }
    stderrFd_ = err.read;
    (void)fcntl(stderrFd_, F_SETFL, O_NONBLOCK);
}

RunningProgram::~RunningProgram() {
    if (status_ == -2) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (stderrFd_ >= 0) {
        close(stderrFd_);
    }
}

void RunningProgram::Drain(int timeoutMs) {
    pollfd readable{stderrFd_, POLLIN, 0};
    while (stderrFd_ >= 0 && poll(&readable, 1, timeoutMs) > 0) {
        char buffer[4096];
        const ssize_t got = read(stderrFd_, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        err_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool RunningProgram::HasEnded() {
    if (status_ != -2) {
        return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = DecodeStatus(status);
        return true;
    }
    return false;
}

int RunningProgram::WaitForExit(int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!HasEnded() && Clock::now() < deadline) {
        Drain(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!HasEnded()) {
        return -1;
    }
    return status_;
}

std::string RunningProgram::Stderr() {
    Drain(0);
    return err_;
}

}  // namespace quirlomat::testing
