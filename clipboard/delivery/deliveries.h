#pragma once

#include <cstddef>
#include <poll.h>

#include "clipboard/contract/clock.h"
#include "clipboard/delivery/write_without_waiting.h"

namespace quirlomat::delivery {

using hand_off::Clock;

// The texts being written to readers. A reader asks through the compositor and hands over
// the writing end of a pipe; the keeper writes the text and closes it, which tells the
// reader that all has come. A text that does not fit at once is written as the reader makes
// room, never waiting for it, so that no reader can hold up another. A reader that makes no
// room keeps its transfer for as long as the keeper owns the selection: closing it would
// hand it a cut text that looks whole.
class Deliveries {
public:
    // Transfers served at once: far more readers than a desktop ever has at one time. A
    // reader beyond them is served all the same; the transfer that has waited longest for
    // room is given up for it, so that a client hoarding transfers cannot starve the others.
    static constexpr std::size_t kMostAtOnce = 128;

    Deliveries() = default;
    ~Deliveries();  // closes every pipe still open
    Deliveries(const Deliveries&) = delete;
    Deliveries& operator=(const Deliveries&) = delete;

    // Writes size bytes of data (which must outlive the delivery) to fd, which the
    // deliveries own from now on.
    void Start(int fd, const char* data, std::size_t size, Clock::time_point now);

    // Fills fds (room entries at most) with the pipes waiting to be written; their count.
    std::size_t Watch(pollfd* fds, std::size_t room) const;
    // Goes on writing to the pipes that poll reported ready in fds.
    void Continue(const pollfd* fds, std::size_t count, Clock::time_point now);

    bool idle() const { return count_ == 0; }
    std::size_t count() const { return count_; }

private:
    struct Delivery {
        int fd;
        const char* data;
        std::size_t size;
        std::size_t sent;
        Clock::time_point lastProgress;
        Sink sink;
    };
    // Writes what the reader takes now; true when the delivery is over (done, or the reader
    // gone).
    static bool Advance(Delivery* delivery, Clock::time_point now);
    void Remove(std::size_t index);
    std::size_t LongestWaiting() const;

    Delivery pending_[kMostAtOnce] = {};
    std::size_t count_ = 0;
};

}  // namespace quirlomat::delivery
