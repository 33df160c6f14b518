#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include <xcb/xcb.h>

#include "clipboard/contract/clock.h"
#include "keeper/x11/text_forms.h"

namespace quirlomat::keeper::x11 {

struct TransferLimits {
    // A requestor that reads no chunk for this long has gone away or hung; its transfer is
    // dropped so that the keeper does not wait for it for ever.
    std::chrono::milliseconds stall{30'000};
    // Once another client owns the clipboard, transfers begun before may run on this long
    // and no longer: the keeper, and the password with it, should go soon.
    std::chrono::milliseconds afterLoss{2'000};
    // Transfers one client may have in progress at once. Its further large requests wait for
    // one of them to end, and do not hold up other clients, whose transfers run alongside.
    std::size_t perClient = 4;
    // Requests of one client that may wait so. A compositor's XWayland bridge (Mutter's)
    // asks for every Wayland reader as one X client, on a window of its own each: all
    // readers of the desktop share this. Beyond it, a client's requests are refused.
    std::size_t waitingPerClient = 252;
};

// Who asked for what: enough to tell the requestor, later, that its data is there or not.
struct Request {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t target;
    xcb_timestamp_t time;
};

// The texts being handed over in chunks (ICCCM INCR): the next chunk goes out when the
// requestor deletes the property, and a final empty one tells that all has been sent.
// Requests beyond a client's share of transfers wait, oldest first, for one of that client's
// transfers to end; a client's requests never wait for another client's.
class IncrTransfers {
public:
    // Transfers and waiting requests of all clients together. Once it is reached, a client
    // with fewer than the most demanding one takes that one's latest waiting request's
    // place, so that many greedy clients together still leave every other client its turn.
    static constexpr std::size_t kCapacity = 1024;

    explicit IncrTransfers(TransferLimits limits) : limits_(limits) {}
    ~IncrTransfers();
    IncrTransfers(const IncrTransfers&) = delete;
    IncrTransfers& operator=(const IncrTransfers&) = delete;

    enum class Admission : std::uint8_t {
        kStarted,  // the transfer runs: the requestor is to learn of it now
        kWaiting,  // the requestor gets its answer once the transfer can start
        kRefused,
    };
    // Registers a transfer of payload for request, whose requestor is a window of client.
    // A requestor that asks again on the same property has given up its earlier request,
    // whose place the new one takes. With mayWait false the transfer starts now or not at
    // all. *displaced names a waiting request that had to make room, whose requestor is owed
    // a refusal (requestor None: there is none).
    Admission Begin(std::uint32_t client, const Request& request, const Payload& payload,
                    bool mayWait, Clock::time_point now, Request* displaced);
    // Forgets the transfer to property on requestor, if there is one.
    void Cancel(xcb_window_t requestor, xcb_atom_t property);

    // A waiting request whose turn has come, now counted as in progress; its requestor is
    // to learn of it (or, should that fail, to be refused and the transfer cancelled).
    bool NextToStart(Clock::time_point now, Request* request, std::size_t* size);

    struct Chunk {
        xcb_atom_t type;
        const char* data;
        std::size_t size;  // 0: the final chunk, after which the transfer is over
    };
    // The chunk that the deletion of property on requestor asks for, of at most chunkSize
    // bytes; false when no transfer in progress waits for that deletion.
    bool NextChunk(xcb_window_t requestor, xcb_atom_t property, std::size_t chunkSize,
                   Clock::time_point now, Chunk* chunk);

    // Forgets every transfer and request of requestor: its window is gone.
    void DropRequestor(xcb_window_t requestor);
    // Forgets the transfers and waiting requests whose time is up. Each one's request goes
    // to dropped(request, waited): the requestor of one that waited still awaits an answer.
    template <typename Dropped>
    void DropStalled(Clock::time_point now, Dropped dropped);
    // The clipboard belongs to another client now: every transfer has limits.afterLoss left
    // at most, and so has every waiting request to get its turn.
    void EndSoon(Clock::time_point now);
    // Forgets every request that has not started, each given to refused(request).
    template <typename Refused>
    void RefuseWaiting(Refused refused);

    bool Serves(xcb_window_t requestor) const;
    bool empty() const { return count_ == 0; }
    // Transfers in progress and requests waiting.
    std::size_t size() const { return count_; }
    std::size_t waiting() const;
    // When the next transfer's time is up; Clock::time_point::max() with none.
    Clock::time_point NextDeadline() const;

private:
    enum class State : std::uint8_t { kWaiting, kStarting, kRunning };
    struct Transfer {
        std::uint32_t client;
        Request request;
        Payload payload;
        std::size_t sent;
        Clock::time_point deadline;
        std::uint64_t order;  // of arrival, for the oldest waiting request to go first
        State state;
    };

    // The transfer to property on requestor, or null.
    Transfer* Find(xcb_window_t requestor, xcb_atom_t property);
    // Removes the entry at index; a transfer in progress leaves its place to its client's
    // oldest waiting request.
    void Remove(std::size_t index);
    bool Grow();
    // Frees an entry for a request of client, which holds held: the latest waiting request
    // of the client with the most, should that be more than held + 1, goes to displaced.
    bool Displace(std::uint32_t client, std::size_t held, Request* displaced);
    Clock::time_point WaitingDeadline() const { return ending_ ? end_ : Clock::time_point::max(); }

    TransferLimits limits_;
    // Grown as needed with realloc, which needs neither exceptions nor the C++ library.
    Transfer* transfers_ = nullptr;
    std::size_t count_ = 0;
    std::size_t allocated_ = 0;
    std::size_t starting_ = 0;  // entries in State::kStarting
    std::uint64_t arrivals_ = 0;
    bool ending_ = false;
    Clock::time_point end_;
};

template <typename Dropped>
void IncrTransfers::DropStalled(Clock::time_point now, Dropped dropped) {
    // Waiting requests first: a transfer that ends here must not pass its place on to a
    // request whose own time is up as well.
    for (int pass = 0; pass < 2; ++pass) {
        const State wanted = pass == 0 ? State::kWaiting : State::kRunning;
        for (std::size_t i = count_; i-- > 0;) {
            if (transfers_[i].state == wanted && transfers_[i].deadline <= now) {
                const Request request = transfers_[i].request;
                Remove(i);
                dropped(request, pass == 0);
            }
        }
    }
}

template <typename Refused>
void IncrTransfers::RefuseWaiting(Refused refused) {
    for (std::size_t i = count_; i-- > 0;) {
        if (transfers_[i].state != State::kRunning) {
            const Request request = transfers_[i].request;
            starting_ -= transfers_[i].state == State::kStarting ? 1 : 0;
            transfers_[i] = transfers_[--count_];
            refused(request);
        }
    }
}

}  // namespace quirlomat::keeper::x11
