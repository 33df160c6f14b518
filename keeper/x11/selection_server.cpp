#include "keeper/x11/selection_server.h"

#include <algorithm>
#include <time.h>

namespace quirlomat::keeper {

namespace {

// A requestor that reads no chunk for this long has gone away or hung; its transfer is
// dropped so that the keeper does not wait for it for ever.
constexpr SelectionServer::Millis kStallLimit = 30'000;

// Chunks stay far below the server's limit (a request also carries its header) and small
// in absolute terms, so that one transfer never holds up the server or other clients for long.
constexpr std::size_t kLargestChunk = std::size_t{64} * 1024;
constexpr std::size_t kRequestHeadroom = 1024;

constexpr char kPasswordManagerHint[] = "secret";

// Latin-1 is the first 256 code points: ASCII, and the two-byte sequences led by 0xC2 and
// 0xC3. Anything else (a longer sequence, an overlong or broken one) has no Latin-1 form.
bool EncodeLatin1(const SecretBuffer& utf8, SecretBuffer* latin1) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned int code = bytes[i];
        if (code >= 0x80) {
            if ((code != 0xC2 && code != 0xC3) || i + 1 == utf8.size() ||
                (bytes[i + 1] & 0xC0) != 0x80) {
                return false;
            }
            code = ((code & 0x1F) << 6) | (bytes[++i] & 0x3F);
        }
        if (!latin1->Push(static_cast<char>(code))) {
            return false;
        }
    }
    return true;
}

}  // namespace

SelectionServer::Millis SelectionServer::Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Millis{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

SelectionServer::SelectionServer(XConnection& x, const SecretBuffer& utf8,
                                 xcb_timestamp_t ownedSince)
    : x_(x),
      utf8_(utf8),
      ownedSince_(ownedSince),
      chunkSize_(std::min(kLargestChunk, x.maxRequestBytes() - kRequestHeadroom)) {
    hasLatin1_ = latin1_.Allocate(utf8.size()) && EncodeLatin1(utf8_, &latin1_);
}

void SelectionServer::Handle(const xcb_generic_event_t& event, Millis now) {
    switch (event.response_type & 0x7F) {
        case XCB_SELECTION_REQUEST:
            OnRequest(reinterpret_cast<const xcb_selection_request_event_t&>(event), now);
            break;
        case XCB_SELECTION_CLEAR:
            if (reinterpret_cast<const xcb_selection_clear_event_t&>(event).selection ==
                x_.atoms().clipboard) {
                lost_ = true;
            }
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.state == XCB_PROPERTY_DELETE) {
                OnPropertyDeleted(notify.window, notify.atom, now);
            }
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            const xcb_window_t gone =
                reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
            for (std::size_t i = transferCount_; i-- > 0;) {
                if (transfers_[i].requestor == gone) {
                    Remove(i);
                }
            }
            break;
        }
        default:
            // Errors land here too: a requestor window that vanished while being written to
            // gives BadWindow, which concerns nobody but that requestor.
            break;
    }
}

void SelectionServer::OnRequest(const xcb_selection_request_event_t& request, Millis now) {
    // ICCCM: a request without a property comes from an obsolete client and means the
    // target's own name.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    // ICCCM: a request stamped before the ownership began asks for an earlier owner's data.
    const bool current = request.time == XCB_CURRENT_TIME ||
                         static_cast<std::int32_t>(request.time - ownedSince_) >= 0;
    const bool answered = request.selection == x_.atoms().clipboard && !lost_ && current &&
                          Answer(request, property, now);

    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = answered ? property : xcb_atom_t{XCB_ATOM_NONE};
    xcb_send_event(x_.get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
}

bool SelectionServer::PayloadFor(xcb_atom_t target, Payload* payload) const {
    const Atoms& atoms = x_.atoms();
    if (target == atoms.utf8String || target == atoms.text) {
        // TEXT lets the owner choose the encoding; UTF-8 loses nothing.
        *payload = {atoms.utf8String, utf8_.data(), utf8_.size()};
    } else if (target == atoms.textPlainUtf8) {
        *payload = {target, utf8_.data(), utf8_.size()};
    } else if (target == XCB_ATOM_STRING && hasLatin1_) {
        *payload = {XCB_ATOM_STRING, latin1_.data(), latin1_.size()};
    } else if (target == atoms.passwordManagerHint) {
        // Clipboard managers that honour the hint compare the data of this format with
        // "secret" and then keep the text out of their history.
        *payload = {target, kPasswordManagerHint, sizeof kPasswordManagerHint - 1};
    } else {
        return false;
    }
    return true;
}

bool SelectionServer::Answer(const xcb_selection_request_event_t& request, xcb_atom_t property,
                             Millis now) {
    const Atoms& atoms = x_.atoms();
    xcb_connection_t* c = x_.get();
    if (request.target == atoms.targets) {
        xcb_atom_t targets[7];
        std::size_t count = 0;
        for (const xcb_atom_t target :
             {atoms.targets, atoms.timestamp, atoms.utf8String, atoms.textPlainUtf8, atoms.text}) {
            targets[count++] = target;
        }
        if (hasLatin1_) {
            targets[count++] = XCB_ATOM_STRING;
        }
        targets[count++] = atoms.passwordManagerHint;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM,
                            32, static_cast<std::uint32_t>(count), targets);
        return true;
    }
    if (request.target == atoms.timestamp) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER,
                            32, 1, &ownedSince_);
        return true;
    }

    Payload payload{};
    if (!PayloadFor(request.target, &payload)) {
        return false;
    }
    if (payload.size <= chunkSize_) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, payload.type, 8,
                            static_cast<std::uint32_t>(payload.size), payload.data);
        return true;
    }

    // ICCCM INCR: the property announces the size, and the requestor's deletion of it asks
    // for the first chunk. A requestor that asks again on the same property has given up
    // its earlier transfer, whose place the new one takes.
    std::size_t slot = 0;
    while (slot < transferCount_ && (transfers_[slot].requestor != request.requestor ||
                                     transfers_[slot].property != property)) {
        ++slot;
    }
    if (slot == kMaxTransfers) {
        return false;
    }
    if (slot == transferCount_) {
        ++transferCount_;
    }
    transfers_[slot] = {request.requestor, property, payload, 0, now + kStallLimit};
    // The keeper must watch the property before the requestor learns of the transfer, or it
    // could miss the deletion; it watches for the window's end too, which ends the transfer.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &mask);
    const auto size = static_cast<std::uint32_t>(payload.size);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, atoms.incr, 32, 1,
                        &size);
    return true;
}

void SelectionServer::Remove(std::size_t index) {
    transfers_[index] = transfers_[--transferCount_];
    transfers_[transferCount_] = {};
}

void SelectionServer::OnPropertyDeleted(xcb_window_t window, xcb_atom_t property, Millis now) {
    for (std::size_t i = 0; i < transferCount_; ++i) {
        Transfer& transfer = transfers_[i];
        if (transfer.requestor != window || transfer.property != property) {
            continue;
        }
        const std::size_t length = std::min(chunkSize_, transfer.payload.size - transfer.sent);
        xcb_change_property(x_.get(), XCB_PROP_MODE_REPLACE, window, property,
                            transfer.payload.type, 8, static_cast<std::uint32_t>(length),
                            transfer.payload.data + transfer.sent);
        transfer.sent += length;
        transfer.deadline = now + kStallLimit;
        if (length == 0) {
            // The empty chunk just sent ends the transfer.
            Remove(i);
            StopWatching(window);
        }
        return;
    }
}

void SelectionServer::StopWatching(xcb_window_t requestor) {
    for (std::size_t i = 0; i < transferCount_; ++i) {
        if (transfers_[i].requestor == requestor) {
            return;
        }
    }
    const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(x_.get(), requestor, XCB_CW_EVENT_MASK, &none);
}

void SelectionServer::DropStalled(Millis now) {
    for (std::size_t i = transferCount_; i-- > 0;) {
        if (transfers_[i].deadline <= now) {
            const xcb_window_t requestor = transfers_[i].requestor;
            Remove(i);
            StopWatching(requestor);
        }
    }
}

int SelectionServer::MillisecondsToNextStall(Millis now) const {
    if (transferCount_ == 0) {
        return -1;
    }
    Millis first = transfers_[0].deadline;
    for (std::size_t i = 1; i < transferCount_; ++i) {
        first = std::min(first, transfers_[i].deadline);
    }
    return static_cast<int>(std::clamp<Millis>(first - now, 0, kStallLimit));
}

}  // namespace quirlomat::keeper
