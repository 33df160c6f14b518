#pragma once

#include <cstddef>
#include <cstdint>

#include <xcb/xcb.h>

#include "keeper/x11/xcb_reply.h"

namespace quirlomat::keeper::x11 {

// The atoms the keeper speaks, interned in one round trip.
struct Atoms {
    xcb_atom_t clipboard = XCB_ATOM_NONE;
    xcb_atom_t targets = XCB_ATOM_NONE;
    xcb_atom_t timestamp = XCB_ATOM_NONE;
    xcb_atom_t multiple = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t textPlainUtf8 = XCB_ATOM_NONE;
    xcb_atom_t text = XCB_ATOM_NONE;
    xcb_atom_t incr = XCB_ATOM_NONE;
    xcb_atom_t atomPair = XCB_ATOM_NONE;
    xcb_atom_t passwordManagerHint = XCB_ATOM_NONE;
    // The property appended to on the keeper's own window to learn the server time.
    xcb_atom_t timeProbe = XCB_ATOM_NONE;
};

// The keeper's connection to the X server of $DISPLAY and its one window, which is never
// mapped: it exists to own the selection and to receive the requests for it.
class XConnection {
public:
    XConnection() = default;
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // Connects, interns the atoms and creates the window. Returns nullptr on success, else a
    // short German reason for the program that started the keeper.
    const char* Open();

    // Makes the keeper's window the owner of CLIPBOARD and confirms it with the server.
    // ICCCM forbids CurrentTime here: the time of the ownership decides which requests are
    // answered, so a real server time is obtained first. Gives up when a signal arrives on
    // signalFd. Returns nullptr on success, else a short German reason.
    const char* TakeClipboard(int signalFd, xcb_timestamp_t* ownedSince);

    // Waits for the next event, at most timeoutMs milliseconds (negative: no limit). Null on
    // timeout, on a signal on signalFd, or when the connection is gone.
    Event WaitForEvent(int signalFd, int timeoutMs);
    // The next event already received, without waiting; after Sync, that is every event the
    // server sent before it answered.
    Event NextQueuedEvent();
    // One round trip: everything sent so far has been handled by the server.
    void Sync();

    // Writes a property on another client's window and waits for the server's verdict: false
    // when it refused (a window that is gone, an atom that does not exist, no memory), in
    // which case the requestor must not be told that the data is there.
    bool WriteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                       std::uint8_t format, std::uint32_t count, const void* data);
    // Reads up to maxUnits 32-bit units of a property; null when it cannot be read.
    Reply<xcb_get_property_reply_t> ReadProperty(xcb_window_t window, xcb_atom_t property,
                                                 std::uint32_t maxUnits);
    // Selects events of another client's window; false when the window is gone.
    bool Watch(xcb_window_t window, std::uint32_t eventMask);
    // Tells the requestor of request that its data is in property (None: refused).
    void Notify(const xcb_selection_request_event_t& request, xcb_atom_t property);

    // The client that created window: resource ids are the client's base ORed with an id
    // within the mask the server gives every client alike.
    std::uint32_t ClientOf(xcb_window_t window) const { return window & ~resourceIdMask_; }

    xcb_connection_t* get() const { return connection_; }
    int fd() const { return xcb_get_file_descriptor(connection_); }
    bool broken() const { return xcb_connection_has_error(connection_) != 0; }
    const Atoms& atoms() const { return atoms_; }
    xcb_window_t window() const { return window_; }
    // The largest request the server accepts, in bytes.
    std::size_t maxRequestBytes() const { return maxRequestBytes_; }

private:
    xcb_connection_t* connection_ = nullptr;
    Atoms atoms_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::size_t maxRequestBytes_ = 0;
    std::uint32_t resourceIdMask_ = 0;
};

}  // namespace quirlomat::keeper::x11
