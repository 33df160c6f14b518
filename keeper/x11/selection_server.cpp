#include "keeper/x11/selection_server.h"

#include <algorithm>
#include <poll.h>

namespace quirlomat::keeper::x11 {

namespace {

// Chunks stay far below the server's limit (a request also carries its header) and small
// in absolute terms, so that one transfer never holds up the server or other clients for long.
constexpr std::size_t kLargestChunk = std::size_t{64} * 1024;
constexpr std::size_t kRequestHeadroom = 1024;

// The (target, property) pairs one MULTIPLE request may name.
constexpr std::size_t kMaxPairs = 32;

// Set in response_type when another client made the event up and sent it with SendEvent.
constexpr std::uint8_t kSentByClient = 0x80;

}  // namespace

SelectionServer::SelectionServer(XConnection& x, const SecretBuffer& utf8,
                                 xcb_timestamp_t ownedSince, TransferLimits limits)
    : x_(x),
      forms_(x.atoms(), utf8),
      ownedSince_(ownedSince),
      chunkSize_(std::min(kLargestChunk, x.maxRequestBytes() - kRequestHeadroom)),
      transfers_(limits) {}

SelectionServer::~SelectionServer() {
    transfers_.RefuseWaiting([this](const Request& request) {
        Tell(request, XCB_ATOM_NONE);
        StopWatching(request.requestor);
    });
}

void SelectionServer::Handle(const xcb_generic_event_t& event, Clock::time_point now) {
    if ((event.response_type & kSentByClient) != 0) {
        return;
    }
    switch (event.response_type) {
        case XCB_SELECTION_REQUEST:
            OnRequest(reinterpret_cast<const xcb_selection_request_event_t&>(event), now);
            break;
        case XCB_SELECTION_CLEAR:
            OnClear(reinterpret_cast<const xcb_selection_clear_event_t&>(event), now);
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.state == XCB_PROPERTY_DELETE) {
                OnPropertyDeleted(notify.window, notify.atom, now);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY:
            transfers_.DropRequestor(
                reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
            break;
        default:
            // Errors land here too, of the unchecked requests: an answer or a change of event
            // mask that went to a requestor window which has vanished meanwhile.
            break;
    }
    StartWaiting(now);
}

void SelectionServer::OnClear(const xcb_selection_clear_event_t& clear, Clock::time_point now) {
    if (clear.selection == x_.atoms().clipboard && clear.owner == x_.window()) {
        lost_ = true;
        transfers_.EndSoon(now);
    }
}

void SelectionServer::OnRequest(const xcb_selection_request_event_t& request,
                                Clock::time_point now) {
    // ICCCM: a request stamped before the ownership began asks for an earlier owner's data.
    const bool current = request.time == XCB_CURRENT_TIME ||
                         static_cast<std::int32_t>(request.time - ownedSince_) >= 0;
    const bool ours = request.selection == x_.atoms().clipboard && !lost_ && current;
    if (request.target == x_.atoms().multiple) {
        // MULTIPLE names its pairs in the request's property, so it cannot do without one.
        const bool answered = ours && request.property != XCB_NONE && AnswerMultiple(request, now);
        x_.Notify(request, answered ? request.property : xcb_atom_t{XCB_ATOM_NONE});
        return;
    }
    // ICCCM: a request without a property comes from an obsolete client and means the
    // target's own name.
    const Request asked{request.requestor,
                        request.property == XCB_NONE ? request.target : request.property,
                        request.target, request.time};
    const Answered answered = ours ? Answer(asked, true, now) : Answered::kNo;
    if (answered != Answered::kLater) {
        x_.Notify(request, answered == Answered::kYes ? asked.property : xcb_atom_t{XCB_ATOM_NONE});
    }
}

SelectionServer::Answered SelectionServer::Answer(const Request& request, bool mayWait,
                                                  Clock::time_point now) {
    const auto yes = [](bool written) { return written ? Answered::kYes : Answered::kNo; };
    const Atoms& atoms = x_.atoms();
    const xcb_window_t requestor = request.requestor;
    const xcb_atom_t property = request.property;
    if (request.target == atoms.targets) {
        xcb_atom_t targets[3 + TextForms::kMaxTargets] = {atoms.targets, atoms.timestamp,
                                                          atoms.multiple};
        const std::size_t count = 3 + forms_.Targets(targets + 3);
        return yes(x_.WriteProperty(requestor, property, XCB_ATOM_ATOM, 32,
                                    static_cast<std::uint32_t>(count), targets));
    }
    if (request.target == atoms.timestamp) {
        return yes(x_.WriteProperty(requestor, property, XCB_ATOM_INTEGER, 32, 1, &ownedSince_));
    }
    Payload payload;
    if (!forms_.PayloadFor(request.target, &payload) ||
        (limit_ != nullptr && !limit_->Admit(request.target, request.requestor, now))) {
        return Answered::kNo;
    }
    if (payload.size <= chunkSize_) {
        return yes(x_.WriteProperty(requestor, property, payload.type, 8,
                                    static_cast<std::uint32_t>(payload.size), payload.data));
    }
    return BeginIncr(request, payload, mayWait, now);
}

bool SelectionServer::AnswerMultiple(const xcb_selection_request_event_t& request,
                                     Clock::time_point now) {
    const Reply<xcb_get_property_reply_t> list =
        x_.ReadProperty(request.requestor, request.property, 2 * kMaxPairs);
    if (!list || list->format != 32 || list->bytes_after != 0) {
        return false;
    }
    const auto units = static_cast<std::size_t>(xcb_get_property_value_length(list.get())) / 4;
    if (units == 0 || units % 2 != 0) {
        return false;
    }
    xcb_atom_t pairs[2 * kMaxPairs];
    std::copy_n(static_cast<const xcb_atom_t*>(xcb_get_property_value(list.get())), units, pairs);
    bool refusedAny = false;
    for (std::size_t i = 0; i < units; i += 2) {
        const xcb_atom_t target = pairs[i];
        const xcb_atom_t property = pairs[i + 1];
        // Its pairs are answered together, at once: a large one starts now or not at all.
        const bool answered = target != x_.atoms().multiple && property != XCB_NONE &&
                              Answer({request.requestor, property, target, request.time}, false,
                                     now) == Answered::kYes;
        if (!answered) {
            // ICCCM: a pair that cannot be converted is marked by None in the list, which
            // goes back to the requestor.
            pairs[i + 1] = XCB_NONE;
            refusedAny = true;
        }
    }
    return !refusedAny || x_.WriteProperty(request.requestor, request.property, list->type, 32,
                                           static_cast<std::uint32_t>(units), pairs);
}

SelectionServer::Answered SelectionServer::BeginIncr(const Request& request, const Payload& payload,
                                                     bool mayWait, Clock::time_point now) {
    Request displaced{};
    const IncrTransfers::Admission admission = transfers_.Begin(
        x_.ClientOf(request.requestor), request, payload, mayWait, now, &displaced);
    if (displaced.requestor != XCB_WINDOW_NONE) {
        Tell(displaced, XCB_ATOM_NONE);
        StopWatching(displaced.requestor);
    }
    switch (admission) {
        case IncrTransfers::Admission::kRefused:
            return Answered::kNo;
        case IncrTransfers::Admission::kWaiting:
            // Its window's end must be seen while it waits, or its place stays taken.
            if (!x_.Watch(request.requestor,
                          XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
                transfers_.Cancel(request.requestor, request.property);
                return Answered::kNo;
            }
            return Answered::kLater;
        case IncrTransfers::Admission::kStarted:
            break;
    }
    return Announce(request, payload.size) ? Answered::kYes : Answered::kNo;
}

bool SelectionServer::Announce(const Request& request, std::size_t size) {
    // ICCCM INCR: the property announces the size, and the requestor's deletion of it asks
    // for the first chunk. The keeper must watch the property before the requestor learns
    // of the transfer, or it could miss the deletion; it watches for the window's end too,
    // which ends the transfer.
    const auto announced = static_cast<std::uint32_t>(size);
    if (!x_.Watch(request.requestor,
                  XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY) ||
        !x_.WriteProperty(request.requestor, request.property, x_.atoms().incr, 32, 1,
                          &announced)) {
        transfers_.Cancel(request.requestor, request.property);
        StopWatching(request.requestor);
        return false;
    }
    return true;
}

void SelectionServer::StartWaiting(Clock::time_point now) {
    Request request{};
    std::size_t size = 0;
    // A failed announcement cancels its transfer, which passes the turn on in its place.
    while (transfers_.NextToStart(now, &request, &size)) {
        Tell(request, Announce(request, size) ? request.property : xcb_atom_t{XCB_ATOM_NONE});
    }
}

void SelectionServer::Tell(const Request& request, xcb_atom_t property) {
    xcb_selection_request_event_t asked{};
    asked.time = request.time;
    asked.requestor = request.requestor;
    asked.selection = x_.atoms().clipboard;
    asked.target = request.target;
    x_.Notify(asked, property);
}

void SelectionServer::OnPropertyDeleted(xcb_window_t window, xcb_atom_t property,
                                        Clock::time_point now) {
    IncrTransfers::Chunk chunk{};
    if (!transfers_.NextChunk(window, property, chunkSize_, now, &chunk)) {
        return;
    }
    if (!x_.WriteProperty(window, property, chunk.type, 8, static_cast<std::uint32_t>(chunk.size),
                          chunk.data)) {
        // The requestor cannot take the chunk: its transfer is over.
        transfers_.Cancel(window, property);
    }
    StopWatching(window);
}

void SelectionServer::StopWatching(xcb_window_t requestor) {
    if (transfers_.Serves(requestor)) {
        return;
    }
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(x_.get(), requestor, XCB_CW_EVENT_MASK, &none);
}

void SelectionServer::DropStalled(Clock::time_point now) {
    transfers_.DropStalled(now, [this](const Request& request, bool waited) {
        if (waited) {
            Tell(request, XCB_ATOM_NONE);
        }
        StopWatching(request.requestor);
    });
    StartWaiting(now);
}

void SelectionServer::GiveUpAtLimit(Clock::time_point now) {
    if (limit_ == nullptr || lost_ || now < limit_->GoneAt()) {
        return;
    }
    // Stamped with the time the keeper took the clipboard: the server ignores the request once
    // another client has taken it since, so another program's text is never touched. Done
    // while the keeper still owns it, XWayland and Mutter clear their side too.
    xcb_set_selection_owner(x_.get(), XCB_WINDOW_NONE, x_.atoms().clipboard, ownedSince_);
    x_.Sync();
    lost_ = true;
    transfers_.EndSoon(now);
}

int SelectionServer::MillisecondsToNextDeadline(Clock::time_point now) const {
    Clock::time_point next = transfers_.NextDeadline();
    if (limit_ != nullptr && !lost_) {
        next = std::min(next, limit_->GoneAt());
    }
    if (next == Clock::time_point::max()) {
        return -1;
    }
    return MillisecondsUntil(next, now);
}

void Serve(XConnection& x, SelectionServer& server, int stopFd) {
    while (!server.Finished()) {
        const Event event = x.WaitForEvent(stopFd, server.MillisecondsToNextDeadline(Clock::now()));
        if (x.broken()) {
            return;
        }
        if (event) {
            server.Handle(*event, Clock::now());
        } else if (stopFd >= 0) {
            pollfd stop{stopFd, POLLIN, 0};
            if (poll(&stop, 1, 0) != 0) {
                return;
            }
        }
        server.DropStalled(Clock::now());
        server.GiveUpAtLimit(Clock::now());
    }
}

}  // namespace quirlomat::keeper::x11
