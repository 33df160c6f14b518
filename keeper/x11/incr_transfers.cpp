#include "keeper/x11/incr_transfers.h"

#include <algorithm>
#include <cstdlib>

namespace quirlomat::keeper::x11 {

IncrTransfers::~IncrTransfers() {
    std::free(transfers_);
}

IncrTransfers::Transfer* IncrTransfers::Find(xcb_window_t requestor, xcb_atom_t property) {
    for (std::size_t i = 0; i < count_; ++i) {
        if (transfers_[i].requestor == requestor && transfers_[i].property == property) {
            return &transfers_[i];
        }
    }
    return nullptr;
}

bool IncrTransfers::Grow() {
    if (allocated_ == kCapacity) {
        return false;
    }
    const std::size_t wanted = std::min(kCapacity, allocated_ == 0 ? 4 : allocated_ * 2);
    void* grown = std::realloc(transfers_, wanted * sizeof(Transfer));
    if (grown == nullptr) {
        return false;
    }
    transfers_ = static_cast<Transfer*>(grown);
    allocated_ = wanted;
    return true;
}

bool IncrTransfers::Begin(std::uint32_t client, xcb_window_t requestor, xcb_atom_t property,
                          const Payload& payload, Clock::time_point now) {
    Clock::time_point deadline = now + limits_.stall;
    if (ending_) {
        deadline = std::min(deadline, end_);
    }
    if (Transfer* earlier = Find(requestor, property)) {
        *earlier = {client, requestor, property, payload, 0, deadline};
        return true;
    }
    const auto ofClient = static_cast<std::size_t>(
        std::count_if(transfers_, transfers_ + count_,
                      [client](const Transfer& t) { return t.client == client; }));
    if (ofClient >= limits_.perClient || (count_ == allocated_ && !Grow())) {
        return false;
    }
    transfers_[count_++] = {client, requestor, property, payload, 0, deadline};
    return true;
}

void IncrTransfers::Cancel(xcb_window_t requestor, xcb_atom_t property) {
    if (Transfer* transfer = Find(requestor, property)) {
        Remove(static_cast<std::size_t>(transfer - transfers_));
    }
}

bool IncrTransfers::NextChunk(xcb_window_t requestor, xcb_atom_t property, std::size_t chunkSize,
                              Clock::time_point now, Chunk* chunk) {
    Transfer* transfer = Find(requestor, property);
    if (transfer == nullptr) {
        return false;
    }
    const std::size_t length = std::min(chunkSize, transfer->payload.size - transfer->sent);
    *chunk = {transfer->payload.type, transfer->payload.data + transfer->sent, length};
    transfer->sent += length;
    if (length == 0) {
        Remove(static_cast<std::size_t>(transfer - transfers_));
        return true;
    }
    // Reading on shows the requestor alive; after the loss of the clipboard it gets no more
    // time than it had.
    transfer->deadline = ending_ ? std::min(now + limits_.stall, end_) : now + limits_.stall;
    return true;
}

void IncrTransfers::Remove(std::size_t index) {
    transfers_[index] = transfers_[--count_];
}

void IncrTransfers::DropRequestor(xcb_window_t requestor) {
    for (std::size_t i = count_; i-- > 0;) {
        if (transfers_[i].requestor == requestor) {
            Remove(i);
        }
    }
}

void IncrTransfers::EndSoon(Clock::time_point now) {
    if (ending_) {
        return;
    }
    ending_ = true;
    end_ = now + limits_.afterLoss;
    for (std::size_t i = 0; i < count_; ++i) {
        transfers_[i].deadline = std::min(transfers_[i].deadline, end_);
    }
}

bool IncrTransfers::Serves(xcb_window_t requestor) const {
    return std::any_of(transfers_, transfers_ + count_,
                       [requestor](const Transfer& t) { return t.requestor == requestor; });
}

Clock::time_point IncrTransfers::NextDeadline() const {
    Clock::time_point first = Clock::time_point::max();
    for (std::size_t i = 0; i < count_; ++i) {
        first = std::min(first, transfers_[i].deadline);
    }
    return first;
}

}  // namespace quirlomat::keeper::x11
