#pragma once

#include <cstddef>

#include <xcb/xcb.h>

#include "keeper/x11/xcb_reply.h"

namespace quirlomat::keeper {

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
};

}  // namespace quirlomat::keeper
