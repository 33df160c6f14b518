#include "keeper/wayland/deliveries.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace quirlomat::keeper {

namespace {

// What a pipe holds unless asked for more.
constexpr std::size_t kDefaultPipeSize = std::size_t{64} * 1024;

}  // namespace

Millis Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Millis{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

Deliveries::~Deliveries() {
    for (std::size_t i = 0; i < count_; ++i) {
        (void)close(pending_[i].fd);
    }
}

void Deliveries::Start(int fd, const char* data, std::size_t size, Millis now) {
    if (count_ == kMostAtOnce) {
        (void)close(fd);
        return;
    }
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    // A pipe large enough for the whole text lets it go out in one write, whenever the
    // reader gets round to reading. The system may refuse (pipe-max-size, a reader that
    // gave no pipe); the text then goes out as the reader makes room.
    if (size > kDefaultPipeSize && size <= INT_MAX) {
        (void)fcntl(fd, F_SETPIPE_SZ, static_cast<int>(size));
    }
    Delivery delivery{fd, data, size, 0, now + stallLimit_};
    if (Advance(&delivery)) {
        (void)close(fd);
        return;
    }
    pending_[count_++] = delivery;
}

bool Deliveries::Advance(Delivery* delivery) {
    while (delivery->sent < delivery->size) {
        const ssize_t written =
            write(delivery->fd, delivery->data + delivery->sent, delivery->size - delivery->sent);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        if (written <= 0) {
            // The reader has closed its end (EPIPE) or the descriptor is unusable.
            return true;
        }
        delivery->sent += static_cast<std::size_t>(written);
    }
    return true;
}

std::size_t Deliveries::Watch(pollfd* fds, std::size_t room) const {
    const std::size_t count = std::min(room, count_);
    for (std::size_t i = 0; i < count; ++i) {
        fds[i] = {pending_[i].fd, POLLOUT, 0};
    }
    return count;
}

void Deliveries::Continue(const pollfd* fds, std::size_t count, Millis now) {
    for (std::size_t f = 0; f < count; ++f) {
        if (fds[f].revents == 0) {
            continue;
        }
        for (std::size_t i = 0; i < count_; ++i) {
            if (pending_[i].fd != fds[f].fd) {
                continue;
            }
            const std::size_t before = pending_[i].sent;
            if (Advance(&pending_[i])) {
                (void)close(pending_[i].fd);
                Remove(i);
            } else if (pending_[i].sent != before) {
                pending_[i].deadline = now + stallLimit_;
            }
            break;
        }
    }
}

void Deliveries::DropStalled(Millis now) {
    for (std::size_t i = count_; i-- > 0;) {
        if (pending_[i].deadline <= now) {
            (void)close(pending_[i].fd);
            Remove(i);
        }
    }
}

int Deliveries::MillisecondsToNextStall(Millis now) const {
    if (count_ == 0) {
        return -1;
    }
    Millis first = pending_[0].deadline;
    for (std::size_t i = 1; i < count_; ++i) {
        first = std::min(first, pending_[i].deadline);
    }
    return static_cast<int>(std::clamp<Millis>(first - now, 0, stallLimit_));
}

void Deliveries::Remove(std::size_t index) {
    pending_[index] = pending_[--count_];
    pending_[count_] = {};
}

}  // namespace quirlomat::keeper
