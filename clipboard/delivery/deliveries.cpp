#include "clipboard/delivery/deliveries.h"

#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace quirlomat::delivery {

namespace {

// What a pipe holds unless asked for more.
constexpr std::size_t kDefaultPipeSize = std::size_t{64} * 1024;

}  // namespace

Deliveries::~Deliveries() {
    for (std::size_t i = 0; i < count_; ++i) {
        (void)close(pending_[i].fd);
    }
}

void Deliveries::Start(int fd, const char* data, std::size_t size, Clock::time_point now) {
    // A pipe large enough for the whole text lets it go out at once, whenever the reader
    // gets round to reading. The system may refuse (pipe-max-size, the user's allowance of
    // pipe memory spent, a reader that gave no pipe); the text then goes out as the reader
    // makes room.
    if (size > kDefaultPipeSize && size <= INT_MAX) {
        (void)fcntl(fd, F_SETPIPE_SZ, static_cast<int>(size));
    }
    Delivery delivery{fd, data, size, 0, now, Sink::kUnknown};
    if (Advance(&delivery, now)) {
        (void)close(fd);
        return;
    }
    if (count_ == kMostAtOnce) {
        const std::size_t given_up = LongestWaiting();
        (void)close(pending_[given_up].fd);
        Remove(given_up);
    }
    pending_[count_++] = delivery;
}

bool Deliveries::Advance(Delivery* delivery, Clock::time_point now) {
    while (delivery->sent < delivery->size) {
        const ssize_t written =
            WriteWithoutWaiting(delivery->fd, delivery->data + delivery->sent,
                                delivery->size - delivery->sent, &delivery->sink);
        if (written < 0) {
            return true;
        }
        if (written == 0) {
            return false;
        }
        delivery->sent += static_cast<std::size_t>(written);
        delivery->lastProgress = now;
    }
    return true;
}

std::size_t Deliveries::Watch(pollfd* fds, std::size_t room) const {
    const std::size_t count = room < count_ ? room : count_;
    for (std::size_t i = 0; i < count; ++i) {
        fds[i] = {pending_[i].fd, POLLOUT, 0};
    }
    return count;
}

void Deliveries::Continue(const pollfd* fds, std::size_t count, Clock::time_point now) {
    for (std::size_t f = 0; f < count; ++f) {
        if (fds[f].revents == 0) {
            continue;
        }
        for (std::size_t i = 0; i < count_; ++i) {
            if (pending_[i].fd != fds[f].fd) {
                continue;
            }
            if (Advance(&pending_[i], now)) {
                (void)close(pending_[i].fd);
                Remove(i);
            }
            break;
        }
    }
}

std::size_t Deliveries::LongestWaiting() const {
    std::size_t longest = 0;
    for (std::size_t i = 1; i < count_; ++i) {
        if (pending_[i].lastProgress < pending_[longest].lastProgress) {
            longest = i;
        }
    }
    return longest;
}

void Deliveries::Remove(std::size_t index) {
    pending_[index] = pending_[--count_];
    pending_[count_] = {};
}

}  // namespace quirlomat::delivery
