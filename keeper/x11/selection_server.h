#pragma once

#include <cstddef>
#include <cstdint>

#include <xcb/xcb.h>

#include "keeper/x11/x_connection.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper {

// Answers the requests for CLIPBOARD while the keeper owns it, as ICCCM describes, and hands
// texts too large for one request over in INCR chunks.
class SelectionServer {
public:
    // Milliseconds of the monotonic clock.
    using Millis = std::int64_t;
    static Millis Now();

    // Transfers in progress at once; a further large request is refused until one ends. Far
    // more than the clipboard managers and pasting programs of one desktop need at a time.
    static constexpr std::size_t kMaxTransfers = 16;

    // x must own CLIPBOARD since ownedSince; both x and utf8 must outlive the server.
    SelectionServer(XConnection& x, const SecretBuffer& utf8, xcb_timestamp_t ownedSince);

    void Handle(const xcb_generic_event_t& event, Millis now);

    // Gives up the transfers whose requestor has not read a chunk for too long.
    void DropStalled(Millis now);

    // How long the keeper may sleep before a transfer stalls; negative: no limit.
    int MillisecondsToNextStall(Millis now) const;

    // The clipboard belongs to another client now, and every transfer begun is over.
    bool Finished() const { return lost_ && transferCount_ == 0; }

private:
    // One form of the text, as it goes into a property of format 8.
    struct Payload {
        xcb_atom_t type;
        const char* data;
        std::size_t size;
    };

    // A text being handed over in chunks: the next one goes out when the requestor deletes
    // the property, and a final empty one tells that all has been sent.
    struct Transfer {
        xcb_window_t requestor;
        xcb_atom_t property;
        Payload payload;
        std::size_t sent;
        Millis deadline;
    };
    // Removes transfers_[index]; the order of the transfers does not matter.
    void Remove(std::size_t index);

    void OnRequest(const xcb_selection_request_event_t& request, Millis now);
    // Stores the answer to target in property; false when the target is refused.
    bool Answer(const xcb_selection_request_event_t& request, xcb_atom_t property, Millis now);
    bool PayloadFor(xcb_atom_t target, Payload* payload) const;
    void OnPropertyDeleted(xcb_window_t window, xcb_atom_t property, Millis now);
    // Stops the events of requestor's window once no transfer to it is left.
    void StopWatching(xcb_window_t requestor);

    XConnection& x_;
    const SecretBuffer& utf8_;
    SecretBuffer latin1_;
    bool hasLatin1_ = false;
    xcb_timestamp_t ownedSince_;
    std::size_t chunkSize_;
    bool lost_ = false;
    Transfer transfers_[kMaxTransfers] = {};
    std::size_t transferCount_ = 0;
};

}  // namespace quirlomat::keeper
