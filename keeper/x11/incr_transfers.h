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
    // Transfers one client may have in progress at once; a further large request of that
    // client is refused until one ends, while other clients are still served. Far more than
    // a clipboard manager or a pasting program needs at a time.
    std::size_t perClient = 4;
};

// The texts being handed over in chunks (ICCCM INCR): the next chunk goes out when the
// requestor deletes the property, and a final empty one tells that all has been sent.
class IncrTransfers {
public:
    // Beyond what any X server's client limit lets all clients together reach at perClient.
    static constexpr std::size_t kCapacity = 1024;

    explicit IncrTransfers(TransferLimits limits) : limits_(limits) {}
    ~IncrTransfers();
    IncrTransfers(const IncrTransfers&) = delete;
    IncrTransfers& operator=(const IncrTransfers&) = delete;

    // Registers a transfer of payload to property on requestor, a window of client. A
    // requestor that asks again on the same property has given up its earlier transfer,
    // whose place the new one takes. False when the client has its share already.
    bool Begin(std::uint32_t client, xcb_window_t requestor, xcb_atom_t property,
               const Payload& payload, Clock::time_point now);
    // Forgets the transfer to property on requestor, if there is one.
    void Cancel(xcb_window_t requestor, xcb_atom_t property);

    struct Chunk {
        xcb_atom_t type;
        const char* data;
        std::size_t size;  // 0: the final chunk, after which the transfer is over
    };
    // The chunk that the deletion of property on requestor asks for, of at most chunkSize
    // bytes; false when no transfer waits for that deletion.
    bool NextChunk(xcb_window_t requestor, xcb_atom_t property, std::size_t chunkSize,
                   Clock::time_point now, Chunk* chunk);

    // Forgets every transfer to requestor: its window is gone.
    void DropRequestor(xcb_window_t requestor);
    // Forgets the transfers whose time is up; their requestors, for which no transfer is
    // left, get stopped(requestor).
    template <typename Stopped>
    void DropStalled(Clock::time_point now, Stopped stopped);
    // The clipboard belongs to another client now: every transfer has limits.afterLoss left
    // at most.
    void EndSoon(Clock::time_point now);

    bool Serves(xcb_window_t requestor) const;
    bool empty() const { return count_ == 0; }
    std::size_t size() const { return count_; }
    // When the next transfer's time is up; Clock::time_point::max() with none.
    Clock::time_point NextDeadline() const;

private:
    struct Transfer {
        std::uint32_t client;
        xcb_window_t requestor;
        xcb_atom_t property;
        Payload payload;
        std::size_t sent;
        Clock::time_point deadline;
    };

    // The transfer to property on requestor, or null.
    Transfer* Find(xcb_window_t requestor, xcb_atom_t property);
    void Remove(std::size_t index);
    bool Grow();

    TransferLimits limits_;
    // Grown as needed with realloc, which needs neither exceptions nor the C++ library.
    Transfer* transfers_ = nullptr;
    std::size_t count_ = 0;
    std::size_t allocated_ = 0;
    bool ending_ = false;
    Clock::time_point end_;
};

template <typename Stopped>
void IncrTransfers::DropStalled(Clock::time_point now, Stopped stopped) {
    for (std::size_t i = count_; i-- > 0;) {
        if (transfers_[i].deadline <= now) {
            const xcb_window_t requestor = transfers_[i].requestor;
            Remove(i);
            if (!Serves(requestor)) {
                stopped(requestor);
            }
        }
    }
}

}  // namespace quirlomat::keeper::x11
