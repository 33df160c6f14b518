#include "keeper/x11/x_connection.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <poll.h>

#include "clipboard/contract/clipboard_forms.h"

namespace quirlomat::keeper::x11 {

namespace {

constexpr int kSetupTimeoutMs = 10000;

}  // namespace

XConnection::~XConnection() {
    if (connection_ != nullptr) {
        // xcb_disconnect drops what is still queued: the last INCR chunk, say, which the
        // requestor waits for. Disconnecting destroys the window and with it the selection
        // ownership, should it still be held.
        xcb_flush(connection_);
        xcb_disconnect(connection_);
    }
}

const char* XConnection::Open() {
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    // xcb_connect never returns null, but a failed connection must still be disconnected.
    if (xcb_connection_has_error(connection_) != 0) {
        return "Keine Verbindung zum X-Server";
    }

    // All requests first, then all replies: one round trip.
    const struct {
        xcb_atom_t* atom;
        const char* name;
    } wanted[] = {
        {&atoms_.clipboard, "CLIPBOARD"},
        {&atoms_.targets, "TARGETS"},
        {&atoms_.timestamp, "TIMESTAMP"},
        {&atoms_.multiple, "MULTIPLE"},
        {&atoms_.utf8String, clipboard_forms::kUtf8String},
        {&atoms_.textPlainUtf8, clipboard_forms::kUtf8Mime},
        {&atoms_.text, clipboard_forms::kText},
        {&atoms_.incr, "INCR"},
        {&atoms_.atomPair, "ATOM_PAIR"},
        {&atoms_.passwordManagerHint, clipboard_forms::kPasswordManagerHint},
        {&atoms_.timeProbe, "_QUIRLOMAT_KEEPER_TIME"},
    };
    xcb_intern_atom_cookie_t cookies[std::size(wanted)];
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
        cookies[i] =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(wanted[i].name)),
                            wanted[i].name);
    }
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
        const Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        if (!reply) {
            return "X-Server antwortet nicht";
        }
        *wanted[i].atom = reply->atom;
    }

    resourceIdMask_ = xcb_get_setup(connection_)->resource_id_mask;
    // Four-byte units; the call also enables BIG-REQUESTS where the server has it.
    maxRequestBytes_ = std::size_t{xcb_get_maximum_request_length(connection_)} * 4;

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return "Kein Bildschirm auf dem X-Server";
    }
    window_ = xcb_generate_id(connection_);
    const std::uint32_t eventMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, 0, window_, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &eventMask);
    return broken() ? "Verbindung zum X-Server verloren" : nullptr;
}

Event XConnection::WaitForEvent(int signalFd, int timeoutMs) {
    for (;;) {
        xcb_flush(connection_);
        // Flushing may have read events into libxcb's queue; poll() would not see those.
        if (Event event{xcb_poll_for_queued_event(connection_)}) {
            return event;
        }
        pollfd fds[] = {{fd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        // Without a signal descriptor only the connection is watched. The count is known only
        // at run time, which also makes the fortified poll check it against the array.
        const nfds_t count = signalFd >= 0 ? std::size(fds) : 1;
        const int ready = poll(fds, count, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (count > 1 && fds[1].revents != 0)) {
            return nullptr;
        }
        if (Event event{xcb_poll_for_event(connection_)}) {
            return event;
        }
        if (broken()) {
            return nullptr;
        }
    }
}

Event XConnection::NextQueuedEvent() {
    return Event(xcb_poll_for_queued_event(connection_));
}

void XConnection::Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool XConnection::WriteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                std::uint8_t format, std::uint32_t count, const void* data) {
    const Reply<xcb_generic_error_t> error(xcb_request_check(
        connection_, xcb_change_property_checked(connection_, XCB_PROP_MODE_REPLACE, window,
                                                 property, type, format, count, data)));
    return !error && !broken();
}

Reply<xcb_get_property_reply_t> XConnection::ReadProperty(xcb_window_t window, xcb_atom_t property,
                                                          std::uint32_t maxUnits) {
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, maxUnits),
        nullptr));
}

bool XConnection::Watch(xcb_window_t window, std::uint32_t eventMask) {
    const Reply<xcb_generic_error_t> error(xcb_request_check(
        connection_,
        xcb_change_window_attributes_checked(connection_, window, XCB_CW_EVENT_MASK, &eventMask)));
    return !error && !broken();
}

void XConnection::Notify(const xcb_selection_request_event_t& request, xcb_atom_t property) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    // Sent like every SendEvent, unchecked: a requestor that has gone needs no answer.
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
}

const char* XConnection::TakeClipboard(int signalFd, xcb_timestamp_t* ownedSince) {
    // Appending nothing changes nothing, but the server still reports the change, stamped
    // with its current time.
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, atoms_.timeProbe,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_timestamp_t time = XCB_CURRENT_TIME;
    while (time == XCB_CURRENT_TIME) {
        const Event event = WaitForEvent(signalFd, kSetupTimeoutMs);
        if (!event) {
            return "Keine Serverzeit vom X-Server";
        }
        if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (notify->window == window_ && notify->atom == atoms_.timeProbe) {
                time = notify->time;
            }
        }
    }

    xcb_set_selection_owner(connection_, window_, atoms_.clipboard, time);
    // SetSelectionOwner has no reply and fails silently when the time is older than the
    // current owner's; only asking the server tells.
    const Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atoms_.clipboard), nullptr));
    if (!owner || owner->owner != window_) {
        return "Zwischenablage nicht übernommen";
    }
    *ownedSince = time;
    return nullptr;
}

}  // namespace quirlomat::keeper::x11
