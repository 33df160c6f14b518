#pragma once

#include <cstddef>
#include <cstdint>

#include <xcb/xcb.h>

#include "keeper/x11/incr_transfers.h"
#include "keeper/x11/text_forms.h"
#include "keeper/x11/x_connection.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper::x11 {

// Answers the requests for CLIPBOARD while the keeper owns it, as ICCCM asks of a selection
// owner: TARGETS, TIMESTAMP, MULTIPLE and the text in its forms, texts too large for one
// request in INCR chunks. Only what the server itself reports counts: an event another
// client made up and sent (SendEvent) is no request and no loss of the clipboard.
class SelectionServer {
public:
    // x must own CLIPBOARD since ownedSince; both x and utf8 must outlive the server.
    SelectionServer(XConnection& x, const SecretBuffer& utf8, xcb_timestamp_t ownedSince,
                    TransferLimits limits = {});
    // Requests still waiting for their turn are refused: their requestors wait for an answer,
    // a compositor's bridge for ever.
    ~SelectionServer();
    SelectionServer(const SelectionServer&) = delete;
    SelectionServer& operator=(const SelectionServer&) = delete;

    void Handle(const xcb_generic_event_t& event, Clock::time_point now);

    // Gives up the transfers whose requestor has not read a chunk for too long, and those
    // that ran past the grace after the loss of the clipboard.
    void DropStalled(Clock::time_point now);

    // How long the keeper may sleep before a transfer's time is up; negative: no limit.
    int MillisecondsToNextDeadline(Clock::time_point now) const;

    // The clipboard belongs to another client now, and every transfer begun is over.
    bool Finished() const { return lost_ && transfers_.empty(); }

    // Transfers in progress, and requests waiting for their turn.
    std::size_t transfers() const { return transfers_.size() - transfers_.waiting(); }
    std::size_t waiting() const { return transfers_.waiting(); }

private:
    void OnRequest(const xcb_selection_request_event_t& request, Clock::time_point now);
    void OnClear(const xcb_selection_clear_event_t& clear, Clock::time_point now);
    enum class Answered : std::uint8_t { kYes, kLater, kNo };
    // Stores the data of request's target in its property, or begins to; kLater: the
    // requestor is told once its transfer's turn has come (only where mayWait).
    Answered Answer(const Request& request, bool mayWait, Clock::time_point now);
    // Answers each (target, property) pair that the request's property lists, and marks
    // the refused ones by a property of None; false when the list itself is unusable.
    bool AnswerMultiple(const xcb_selection_request_event_t& request, Clock::time_point now);
    Answered BeginIncr(const Request& request, const Payload& payload, bool mayWait,
                       Clock::time_point now);
    // Announces a transfer to its requestor (ICCCM INCR); false when the requestor cannot
    // take it, whose transfer is then cancelled.
    bool Announce(const Request& request, std::size_t size);
    // Tells the requestors whose waiting requests have had their turn meanwhile.
    void StartWaiting(Clock::time_point now);
    void Tell(const Request& request, xcb_atom_t property);
    void OnPropertyDeleted(xcb_window_t window, xcb_atom_t property, Clock::time_point now);
    // Stops the events of requestor's window once no transfer to it is left.
    void StopWatching(xcb_window_t requestor);

    XConnection& x_;
    TextForms forms_;
    xcb_timestamp_t ownedSince_;
    std::size_t chunkSize_;
    IncrTransfers transfers_;
    bool lost_ = false;
};

// The keeper's event loop: serves until the server is finished, the connection is gone, or
// something is ready on stopFd (the termination signals).
void Serve(XConnection& x, SelectionServer& server, int stopFd);

}  // namespace quirlomat::keeper::x11
