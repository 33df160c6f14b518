#include "support/xvfb_server.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "support/spawn.h"

namespace quirlomat::testing {

namespace {

// Xvfb needs well under a second; a loaded CI machine running sanitized tests in parallel
// may need many.
constexpr int kStartTimeoutMs = 30000;

std::string ReadDisplayNumber(int fd) {
    std::string number;
    char c = 0;
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, kStartTimeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return {};
        }
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || c == '\n') {
            return number;
        }
        number.push_back(c);
    }
}

}  // namespace

XvfbServer::XvfbServer() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("XvfbServer: pipe2 failed");
    }
    // Only the write end is meant for the server; it is inherited under its own number.
    (void)fcntl(ends[1], F_SETFD, 0);
    const std::string fd = std::to_string(ends[1]);

    // Xvfb reports keyboard and font notes on its standard streams, which go to /dev/null: they
    // are no test output. -noreset: the server must not wipe its state when the last client
    // leaves, or a test that reconnects could meet a server in the middle of its reset.
    bool failure = false;
    try {
        pid_ = Spawn({"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-noreset", "-screen", "0",
                      "640x480x24"});
    } catch (const std::runtime_error&) {
        failure = true;
    }
    close(ends[1]);
    if (failure) {
        close(ends[0]);
        pid_ = -1;
        throw std::runtime_error("XvfbServer: cannot start Xvfb (is the package xvfb installed?)");
    }
    const std::string number = ReadDisplayNumber(ends[0]);
    close(ends[0]);
    if (number.empty()) {
        Stop();
        throw std::runtime_error("XvfbServer: Xvfb did not report its display");
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    Stop();
}

void XvfbServer::Stop() {
    if (pid_ <= 0) {
        return;
    }
    (void)kill(pid_, SIGTERM);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

}  // namespace quirlomat::testing
