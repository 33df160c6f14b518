#include "clipboard/keeper_clipboard.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "clipboard/contract/clock.h"
#include "clipboard/contract/hand_off_protocol.h"
#include "runtime/errors.h"

namespace quirlomat {

namespace {

using hand_off::Clock;

// The keeper answers within milliseconds; a keeper that has not answered by then hangs on a
// display server that does not respond, and the user is better told than kept waiting.
constexpr std::chrono::milliseconds kAnswerTime{2000};
// How long a keeper that was not needed may take to notice and end.
constexpr std::chrono::milliseconds kFarewellTime{1000};

// A status line longer than this is no line the keeper writes.
constexpr std::size_t kLongestStatus = 256;

[[noreturn]] void RaiseClipboardError(std::string_view detail) {
    Raise(ErrorNumber::kClipboardUnavailable, detail);
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

int RemainingMs(Clock::time_point deadline) {
    return hand_off::MillisecondsUntil(deadline, Clock::now());
}

void Reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

struct KeeperClipboard::Keeper {
    pid_t pid = -1;
    Descriptor toKeeper;    // its standard input: the length, then the text
    Descriptor fromKeeper;  // its standard output: the status lines
    std::string pending;    // status bytes read beyond the last whole line

    // Starts the keeper at path; raises the clipboard error when it cannot be started.
    explicit Keeper(const std::string& path);
    // A keeper that did not report success must not linger, holding the password.
    ~Keeper() {
        if (pid > 0) {
            (void)kill(pid, SIGKILL);
            Reap(pid);
        }
    }
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;

    // The next status line, without its newline; raises on timeout and on a keeper that ends
    // without one.
    std::string ReadLine(Clock::time_point deadline);
    // Writes the length and the text, meanwhile watching for a status line: a keeper that
    // refuses stops reading and says why. Returns that line if one came, else "".
    std::string WriteText(const SecretBytes& utf8, const ClipboardLimits& limits,
                          Clock::time_point deadline);
    // From now on the keeper serves on its own; it stays this process's child until this
    // process ends, which follows at once.
    void Release() { pid = -1; }
};

KeeperClipboard::Keeper::Keeper(const std::string& path) {
    // Close-on-exec, so that neither the keeper nor any other program the process starts
    // inherits an end it does not know of; the keeper gets its two ends by dup2.
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        RaiseClipboardError("keine Verbindung zum Hilfsprogramm möglich");
    }
    const Descriptor keeperStdin(input[0]);
    toKeeper.Reset(input[1]);
    if (pipe2(output, O_CLOEXEC) != 0) {
        RaiseClipboardError("keine Verbindung zum Hilfsprogramm möglich");
    }
    fromKeeper.Reset(output[0]);
    const Descriptor keeperStdout(output[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, keeperStdin.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, keeperStdout.get(), STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: the keeper must outlive the end of a terminal the program was
    // started from. It starts with no signal blocked and with the signals this process
    // ignores or handles at their defaults.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int number : {SIGPIPE, SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&defaults, number);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // Only the path: the password travels through the pipe alone, never through the command
    // line or the environment, which other processes of the user can read.
    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    const int failure = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0) {
        pid = -1;
        RaiseClipboardError("das Hilfsprogramm " + path +
                            (failure == ENOENT ? " fehlt" : " lässt sich nicht starten"));
    }
    (void)fcntl(toKeeper.get(), F_SETFL, O_NONBLOCK);
}

std::string KeeperClipboard::Keeper::ReadLine(Clock::time_point deadline) {
    for (;;) {
        if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        if (pending.size() > kLongestStatus) {
            RaiseClipboardError("unverständliche Antwort des Hilfsprogramms");
        }
        pollfd readable{fromKeeper.get(), POLLIN, 0};
        const int ready = poll(&readable, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            RaiseClipboardError("keine Verbindung zum Hilfsprogramm möglich");
        }
        if (ready == 0) {
            RaiseClipboardError("das Hilfsprogramm antwortet nicht");
        }
        char buffer[64];
        const ssize_t got = read(fromKeeper.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            RaiseClipboardError("das Hilfsprogramm hat sich unerwartet beendet");
        }
        pending.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string KeeperClipboard::Keeper::WriteText(const SecretBytes& utf8,
                                               const ClipboardLimits& limits,
                                               Clock::time_point deadline) {
    // The length is no secret; the text goes from secret memory straight into the pipe.
    char header[hand_off::kLongestHeader];
    const std::string_view parts[] = {{header, hand_off::WriteHeader(utf8.size(), header, limits)},
                                      {utf8.data(), utf8.size()}};
    for (std::string_view part : parts) {
        while (!part.empty()) {
            pollfd fds[] = {{fromKeeper.get(), POLLIN, 0}, {toKeeper.get(), POLLOUT, 0}};
            const int ready = poll(fds, 2, RemainingMs(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                RaiseClipboardError("das Hilfsprogramm antwortet nicht");
            }
            if (fds[0].revents != 0) {
                return ReadLine(deadline);
            }
            const ssize_t sent = write(toKeeper.get(), part.data(), part.size());
            if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (sent < 0) {
                // EPIPE: the keeper stopped reading; its status line says why.
                return ReadLine(deadline);
            }
            part.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    toKeeper.Close();
    return {};
}

KeeperClipboard::KeeperClipboard(std::string keeperPath, const ClipboardLimits& limits)
    : keeperPath_(std::move(keeperPath)), limits_(limits) {}

KeeperClipboard::~KeeperClipboard() {
    if (!waiting_) {
        return;
    }
    // End of file before any length: the keeper ends by itself, and closes its output as it
    // goes. One that does not within the time is killed by ~Keeper.
    waiting_->toKeeper.Close();
    const Clock::time_point deadline = Clock::now() + kFarewellTime;
    for (;;) {
        pollfd output{waiting_->fromKeeper.get(), POLLIN, 0};
        const int ready = poll(&output, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return;
        }
        char discard[64];
        const ssize_t got = read(waiting_->fromKeeper.get(), discard, sizeof discard);
        if (got == 0) {
            Reap(waiting_->pid);
            waiting_->Release();
            return;
        }
        if (got < 0 && errno != EINTR) {
            return;
        }
    }
}

void KeeperClipboard::Prepare() {
    if (waiting_) {
        return;
    }
    try {
        waiting_ = std::make_unique<Keeper>(keeperPath_);
    } catch (const RunTimeError&) {
        // SetText starts one again and reports why it fails, if it still does.
        waiting_.reset();
    }
}

void KeeperClipboard::SetText(const SecretBytes& utf8) {
    // A keeper started in advance may have died or lost its display meanwhile; the text then
    // goes to a fresh one. The second failure is the one the user is told about.
    const bool prepared = static_cast<bool>(waiting_);
    for (int attempt = prepared ? 0 : 1; attempt < 2; ++attempt) {
        std::unique_ptr<Keeper> keeper =
            attempt == 0 ? std::move(waiting_) : std::make_unique<Keeper>(keeperPath_);
        const Clock::time_point deadline = Clock::now() + kAnswerTime;
        try {
            std::string line = keeper->ReadLine(deadline);
            if (line == hand_off::kReady) {
                line = keeper->WriteText(utf8, limits_, deadline);
                if (line.empty()) {
                    line = keeper->ReadLine(deadline);
                }
            }
            if (line == hand_off::kOk) {
                keeper->Release();
                return;
            }
            if (line.rfind(hand_off::kErrorPrefix, 0) == 0) {
                RaiseClipboardError(line.substr(hand_off::kErrorPrefix.size()));
            }
            RaiseClipboardError("unverständliche Antwort des Hilfsprogramms");
        } catch (const RunTimeError&) {
            if (attempt == 1) {
                throw;
            }
        }
    }
}

}  // namespace quirlomat
