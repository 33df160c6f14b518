#pragma once

#include <cstddef>
#include <cstdint>
#include <poll.h>

namespace quirlomat::keeper {

// Milliseconds of the monotonic clock.
using Millis = std::int64_t;
Millis Now();

// The texts being written to readers. A reader asks through the compositor and hands over
// the writing end of a pipe; the keeper writes the text and closes it, which tells the
// reader that all has come. A text that does not fit into the pipe at once is written as
// the reader makes room, without blocking the keeper, and a reader that makes no room for
// too long is given up.
class Deliveries {
public:
    // More readers at once than a desktop ever has; a reader beyond gets no text at all
    // (its pipe is closed at once) rather than part of one.
    static constexpr std::size_t kMostAtOnce = 32;

    // stallLimit: how long a reader may leave its pipe full before it is given up.
    explicit Deliveries(Millis stallLimit) : stallLimit_(stallLimit) {}
    ~Deliveries();  // closes every pipe still open
    Deliveries(const Deliveries&) = delete;
    Deliveries& operator=(const Deliveries&) = delete;

    // Writes size bytes of data (which must outlive the delivery) to fd, which the
    // deliveries own from now on.
    void Start(int fd, const char* data, std::size_t size, Millis now);

    // Fills fds (room entries at most) with the pipes waiting to be written; their count.
    std::size_t Watch(pollfd* fds, std::size_t room) const;
    // Goes on writing to the pipes that poll reported ready in fds.
    void Continue(const pollfd* fds, std::size_t count, Millis now);
    // Gives up the readers that have made no room by now.
    void DropStalled(Millis now);
    // How long until the first reader stalls; negative when none is waiting.
    int MillisecondsToNextStall(Millis now) const;

    bool idle() const { return count_ == 0; }

private:
    struct Delivery {
        int fd;
        const char* data;
        std::size_t size;
        std::size_t sent;
        Millis deadline;
    };
    // Writes what the pipe takes; true when the delivery is over (done, or the reader gone).
    static bool Advance(Delivery* delivery);
    void Remove(std::size_t index);

    Millis stallLimit_;
    Delivery pending_[kMostAtOnce] = {};
    std::size_t count_ = 0;
};

}  // namespace quirlomat::keeper
