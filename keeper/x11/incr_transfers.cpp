#include "keeper/x11/incr_transfers.h"

#include <algorithm>
#include <cstdlib>

namespace quirlomat::keeper::x11 {

IncrTransfers::~IncrTransfers() {
    std::free(transfers_);
}

IncrTransfers::Transfer* IncrTransfers::Find(xcb_window_t requestor, xcb_atom_t property) {
    for (std::size_t i = 0; i < count_; ++i) {
        if (transfers_[i].request.requestor == requestor &&
            transfers_[i].request.property == property) {
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

bool IncrTransfers::Displace(std::uint32_t client, std::size_t held, Request* displaced) {
    // Only when every place is taken, which only clients asking for far more than any
    // reader needs bring about.
    std::uint32_t clients[kCapacity];
    std::size_t n = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        clients[n++] = transfers_[i].client;
    }
    std::sort(clients, clients + n);
    std::size_t most = 0;
    std::uint32_t greediest = 0;
    for (std::size_t run = 0; run < n;) {
        std::size_t end = run;
        while (end < n && clients[end] == clients[run]) {
            ++end;
        }
        if (clients[run] != client && end - run > most) {
            most = end - run;
            greediest = clients[run];
        }
        run = end;
    }
    if (most <= held + 1) {
        return false;
    }
    std::size_t latest = count_;
    for (std::size_t i = 0; i < count_; ++i) {
        const Transfer& t = transfers_[i];
        if (t.client == greediest && t.state == State::kWaiting &&
            (latest == count_ || t.order > transfers_[latest].order)) {
            latest = i;
        }
    }
    if (latest == count_) {
        return false;  // all of its share in progress: perClient is not worth displacing
    }
    *displaced = transfers_[latest].request;
    Remove(latest);
    return true;
}

IncrTransfers::Admission IncrTransfers::Begin(std::uint32_t client, const Request& request,
                                              const Payload& payload, bool mayWait,
                                              Clock::time_point now, Request* displaced) {
    *displaced = Request{XCB_WINDOW_NONE, XCB_ATOM_NONE, XCB_ATOM_NONE, XCB_CURRENT_TIME};
    Clock::time_point deadline = now + limits_.stall;
    if (ending_) {
        deadline = std::min(deadline, end_);
    }
    if (Transfer* earlier = Find(request.requestor, request.property)) {
        earlier->request = request;
        earlier->payload = payload;
        earlier->sent = 0;
        if (earlier->state == State::kWaiting) {
            return Admission::kWaiting;
        }
        if (earlier->state == State::kStarting) {
            --starting_;
        }
        earlier->state = State::kRunning;
        earlier->deadline = deadline;
        return Admission::kStarted;
    }
    std::size_t inProgress = 0;
    std::size_t held = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        if (transfers_[i].client == client) {
            ++held;
            inProgress += transfers_[i].state != State::kWaiting ? 1 : 0;
        }
    }
    const bool start = inProgress < limits_.perClient;
    if (!start && (!mayWait || held - inProgress >= limits_.waitingPerClient)) {
        return Admission::kRefused;
    }
    if (count_ == allocated_ && !Grow() && !Displace(client, held, displaced)) {
        return Admission::kRefused;
    }
    transfers_[count_++] = {client,
                            request,
                            payload,
                            0,
                            start ? deadline : WaitingDeadline(),
                            arrivals_++,
                            start ? State::kRunning : State::kWaiting};
    return start ? Admission::kStarted : Admission::kWaiting;
}

void IncrTransfers::Cancel(xcb_window_t requestor, xcb_atom_t property) {
    if (Transfer* transfer = Find(requestor, property)) {
        Remove(static_cast<std::size_t>(transfer - transfers_));
    }
}

bool IncrTransfers::NextToStart(Clock::time_point now, Request* request, std::size_t* size) {
    if (starting_ == 0) {
        return false;
    }
    for (std::size_t i = 0; i < count_; ++i) {
        Transfer& t = transfers_[i];
        if (t.state == State::kStarting) {
            t.state = State::kRunning;
            --starting_;
            t.deadline = ending_ ? std::min(now + limits_.stall, end_) : now + limits_.stall;
            *request = t.request;
            *size = t.payload.size;
            return true;
        }
    }
    return false;
}

bool IncrTransfers::NextChunk(xcb_window_t requestor, xcb_atom_t property, std::size_t chunkSize,
                              Clock::time_point now, Chunk* chunk) {
    Transfer* transfer = Find(requestor, property);
    if (transfer == nullptr || transfer->state != State::kRunning) {
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
    const Transfer gone = transfers_[index];
    transfers_[index] = transfers_[--count_];
    if (gone.state == State::kWaiting) {
        return;
    }
    if (gone.state == State::kStarting) {
        --starting_;
    }
    Transfer* next = nullptr;
    for (std::size_t i = 0; i < count_; ++i) {
        Transfer& t = transfers_[i];
        if (t.client == gone.client && t.state == State::kWaiting &&
            (next == nullptr || t.order < next->order)) {
            next = &t;
        }
    }
    if (next != nullptr) {
        next->state = State::kStarting;
        ++starting_;
    }
}

void IncrTransfers::DropRequestor(xcb_window_t requestor) {
    for (std::size_t i = count_; i-- > 0;) {
        if (transfers_[i].request.requestor == requestor) {
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
                       [requestor](const Transfer& t) { return t.request.requestor == requestor; });
}

std::size_t IncrTransfers::waiting() const {
    return static_cast<std::size_t>(
        std::count_if(transfers_, transfers_ + count_,
                      [](const Transfer& t) { return t.state != State::kRunning; }));
}

Clock::time_point IncrTransfers::NextDeadline() const {
    Clock::time_point first = Clock::time_point::max();
    for (std::size_t i = 0; i < count_; ++i) {
        first = std::min(first, transfers_[i].deadline);
    }
    return first;
}

}  // namespace quirlomat::keeper::x11
