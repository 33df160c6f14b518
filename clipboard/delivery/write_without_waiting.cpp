#include "clipboard/delivery/write_without_waiting.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace quirlomat::delivery {

namespace {

// How long a write may block before the timer ends it. A write that had room never comes
// near it; one that blocks regardless costs the other readers this much, once, since its
// transfer is then given up.
constexpr suseconds_t kLongestWriteMicroseconds = 50'000;

void Interrupt(int) {}

void ArmTimer(suseconds_t microseconds) {
    itimerval timer = {};
    timer.it_value.tv_usec = microseconds;
    (void)setitimer(ITIMER_REAL, &timer, nullptr);
}

// Returns the count, 0 when the socket is full, -1 when it cannot be written (errno set).
ssize_t SendWithoutWaiting(int fd, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t sent = send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0) {
            return sent;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

bool HasRoom(int fd) {
    pollfd ready = {fd, POLLOUT, 0};
    while (poll(&ready, 1, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return (ready.revents & POLLOUT) != 0;
}

ssize_t WriteInPieces(int fd, const char* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size && HasRoom(fd)) {
        const std::size_t piece = std::min<std::size_t>(size - sent, PIPE_BUF);
        ArmTimer(kLongestWriteMicroseconds);
        const ssize_t written = write(fd, data + sent, piece);
        const int error = errno;
        ArmTimer(0);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
        } else if (written < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
            break;
        } else {
            // The reader is gone (EPIPE), or the write blocked although poll() had shown
            // room (EINTR from the timer): someone else fills that pipe. Either way the
            // transfer is over.
            return -1;
        }
    }
    return static_cast<ssize_t>(sent);
}

}  // namespace

bool PrepareWritesWithoutWaiting() {
    struct sigaction action = {};
    action.sa_handler = &Interrupt;
    // No SA_RESTART: the point is that the blocked write returns.
    action.sa_flags = 0;
    (void)sigemptyset(&action.sa_mask);
    sigset_t alarm;
    (void)sigemptyset(&alarm);
    (void)sigaddset(&alarm, SIGALRM);
    return sigaction(SIGALRM, &action, nullptr) == 0 &&
           sigprocmask(SIG_UNBLOCK, &alarm, nullptr) == 0;
}

ssize_t WriteWithoutWaiting(int fd, const char* data, std::size_t size, Sink* sink) {
    if (*sink != Sink::kOther) {
        const ssize_t sent = SendWithoutWaiting(fd, data, size);
        if (sent >= 0 || errno != ENOTSOCK) {
            *sink = Sink::kSocket;
            return sent;
        }
        *sink = Sink::kOther;
    }
    return WriteInPieces(fd, data, size);
}

}  // namespace quirlomat::delivery
