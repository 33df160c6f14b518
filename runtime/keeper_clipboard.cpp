#include "runtime/keeper_clipboard.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utility>

#include "runtime/runtime_error.h"

namespace quirlomat {

namespace {

// The keeper answers within milliseconds; a keeper that has not answered by then hangs on a
// server that does not respond, and the user is better told than kept waiting.
constexpr long kDeadlineMs = 2000;

// A status line longer than this is no line the keeper writes.
constexpr std::size_t kLongestStatus = 256;

[[noreturn]] void Fail(const std::string& reason) {
    throw RuntimeError(521, "Die Zwischenablage konnte nicht gesetzt werden: " + reason);
}

long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1'000'000;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool open() const noexcept { return fd_ >= 0; }
    void Reset(int fd) noexcept {
        Close();
        fd_ = fd;
    }
    void Close() noexcept {
        if (fd_ >= 0) {
            (void)close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
};

struct Pipe {
    Descriptor read;
    Descriptor write;
};

void MakePipe(Pipe* pipe) {
    // Close-on-exec, so that neither the keeper nor any other program the process starts
    // inherits an end it does not know of; the keeper gets its two ends by dup2.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        Fail("keine Verbindung zum Hilfsprogramm möglich");
    }
    pipe->read.Reset(ends[0]);
    pipe->write.Reset(ends[1]);
}

// Writing to the pipe of a keeper that has already ended raises SIGPIPE, which would end the
// program. The signal is blocked in this thread while the password is written, and one that
// arrived meanwhile is consumed before the old mask returns, so that the program's own
// signal handling stays as it was; the write itself fails with EPIPE.
class SigpipeBlocked {
public:
    SigpipeBlocked() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeBlocked() {
        if (!wasPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec noWait{};
                (void)sigtimedwait(&pipe_, nullptr, &noWait);
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

private:
    sigset_t pipe_{};
    sigset_t previous_{};
    bool wasPending_ = false;
};

class SpawnSettings {
public:
    SpawnSettings(int stdinFd, int stdoutFd) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_adddup2(&actions_, stdinFd, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO);

        posix_spawnattr_init(&attributes_);
        // A session of its own: the keeper must outlive the end of a terminal the program
        // was started from. It also starts with no signal blocked and the termination
        // signals at their defaults, whatever this process had set for itself.
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int number : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) {
            sigaddset(&defaults, number);
        }
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

// A keeper that did not report success must not linger, holding the password.
void KillAndReap(pid_t pid) {
    (void)kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Writes utf8 to the keeper and reads its status line, both without blocking, under one
// deadline. Returns the status line without its newline; throws on timeout and on a keeper
// that ends without a line.
std::string Converse(const SecretBytes& utf8, Descriptor* data, const Descriptor& status,
                     long deadline) {
    (void)fcntl(data->get(), F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    if (utf8.empty()) {
        data->Close();
    }
    std::string line;
    char buffer[64];
    for (;;) {
        const long remaining = deadline - NowMs();
        if (remaining <= 0) {
            Fail("das Hilfsprogramm antwortet nicht");
        }
        pollfd fds[2] = {{status.get(), POLLIN, 0}, {data->get(), POLLOUT, 0}};
        const nfds_t count = data->open() ? 2 : 1;
        if (poll(fds, count, static_cast<int>(remaining)) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("keine Verbindung zum Hilfsprogramm möglich");
        }

        if (data->open() && fds[1].revents != 0) {
            const ssize_t sent = write(data->get(), utf8.data() + written, utf8.size() - written);
            if (sent > 0) {
                written += static_cast<std::size_t>(sent);
            }
            // A keeper that stopped reading has something to say on its status line.
            if (written == utf8.size() || (sent < 0 && errno != EAGAIN && errno != EINTR)) {
                data->Close();
            }
        }

        if (fds[0].revents != 0) {
            const ssize_t got = read(status.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                Fail("das Hilfsprogramm hat sich unerwartet beendet");
            }
            line.append(buffer, static_cast<std::size_t>(got));
            if (const std::size_t end = line.find('\n'); end != std::string::npos) {
                line.resize(end);
                return line;
            }
            if (line.size() > kLongestStatus) {
                Fail("unverständliche Antwort des Hilfsprogramms");
            }
        }
    }
}

}  // namespace

KeeperClipboard::KeeperClipboard(std::string keeperPath) : keeperPath_(std::move(keeperPath)) {}

std::string KeeperClipboard::KeeperPathFor(const std::string& programPath) {
    const std::filesystem::path program(programPath);
    return (program.parent_path() / QUIRLOMAT_KEEPER_RELATIVE_PATH).lexically_normal().string();
}

void KeeperClipboard::SetText(const SecretBytes& utf8) {
    Pipe data;
    Pipe status;
    MakePipe(&data);
    MakePipe(&status);

    // Only the path: the password travels through the pipe alone, never through the command
    // line or the environment, which other processes of the user can read.
    char* argv[] = {keeperPath_.data(), nullptr};
    pid_t pid = -1;
    int failure = 0;
    {
        const SpawnSettings settings(data.read.get(), status.write.get());
        failure = posix_spawn(&pid, keeperPath_.c_str(), settings.actions(), settings.attributes(),
                              argv, environ);
    }
    const long deadline = NowMs() + kDeadlineMs;
    if (failure != 0) {
        Fail("das Hilfsprogramm " + keeperPath_ +
             (failure == ENOENT ? " fehlt" : " lässt sich nicht starten"));
    }
    data.read.Close();
    status.write.Close();

    std::string line;
    try {
        const SigpipeBlocked noSigpipe;
        line = Converse(utf8, &data.write, status.read, deadline);
    } catch (...) {
        KillAndReap(pid);
        throw;
    }
    if (line == "OK") {
        // The keeper now serves on its own; it stays this process's child until this process
        // ends, which follows at once.
        return;
    }
    KillAndReap(pid);
    if (line.rfind("ERR ", 0) == 0) {
        Fail(line.substr(4));
    }
    Fail("unverständliche Antwort des Hilfsprogramms");
}

}  // namespace quirlomat
