#include "support/selection_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <thread>

#include "keeper/x11/xcb_reply.h"

namespace quirlomat::testing {

namespace {

using keeper::x11::Reply;

// Generous: sanitized keepers on a loaded machine answer slowly, and a keeper that does
// not answer at all must fail the test, not hang it.
constexpr int kAnswerTimeoutMs = 20000;

}  // namespace

SelectionClient::SelectionClient(const std::string& display) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_) != 0) {
        xcb_disconnect(connection_);
        throw std::runtime_error("SelectionClient: cannot connect to " + display);
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    window_ = AddWindow();
    property_ = Atom("QUIRLOMAT_TEST_PASTE");
    clipboard_ = Atom("CLIPBOARD");
    incr_ = Atom("INCR");
}

SelectionClient::~SelectionClient() {
    xcb_disconnect(connection_);
}

xcb_window_t SelectionClient::AddWindow() {
    const xcb_window_t window = xcb_generate_id(connection_);
    // PropertyChange from the start: the INCR chunks are announced by it.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, 0, window, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    return window;
}

void SelectionClient::SetAtoms(xcb_atom_t property, xcb_atom_t type,
                               const std::vector<xcb_atom_t>& atoms) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, property, type, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
}

void SelectionClient::SendToOwner(const void* event) {
    xcb_send_event(connection_, 0, ClipboardOwner(), XCB_EVENT_MASK_NO_EVENT,
                   static_cast<const char*>(event));
    Sync();
}

void SelectionClient::Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

xcb_atom_t SelectionClient::Atom(const std::string& name) {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (!reply) {
        throw std::runtime_error("SelectionClient: cannot intern " + name);
    }
    return reply->atom;
}

std::string SelectionClient::AtomName(xcb_atom_t atom) {
    if (atom == XCB_ATOM_NONE) {
        return "None";
    }
    const Reply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, atom), nullptr));
    if (!reply) {
        throw std::runtime_error("SelectionClient: no name for atom " + std::to_string(atom));
    }
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

xcb_window_t SelectionClient::ClipboardOwner() {
    const Reply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
    if (!reply) {
        throw std::runtime_error("SelectionClient: no selection owner reply");
    }
    return reply->owner;
}

bool SelectionClient::WaitUntilClipboardHasNoOwner() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    while (ClipboardOwner() != XCB_WINDOW_NONE) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void SelectionClient::TakeClipboard() {
    xcb_set_selection_owner(connection_, window_, clipboard_, XCB_CURRENT_TIME);
    if (ClipboardOwner() != window_) {
        throw std::runtime_error("SelectionClient: could not take the clipboard");
    }
}

xcb_generic_event_t* SelectionClient::WaitFor(std::uint8_t type) {
    for (;;) {
        xcb_flush(connection_);
        xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_);
        if (event == nullptr) {
            pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
            const int ready = poll(&readable, 1, kAnswerTimeoutMs);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready == 0) {
                throw std::runtime_error("SelectionClient: no answer from the clipboard owner");
            }
            event = xcb_poll_for_event(connection_);
        }
        if (xcb_connection_has_error(connection_) != 0) {
            std::free(event);
            throw std::runtime_error("SelectionClient: connection lost");
        }
        if (event == nullptr) {
            continue;
        }
        const std::uint8_t kind = event->response_type & 0x7F;
        if (kind == type) {
            if (kind != XCB_PROPERTY_NOTIFY) {
                return event;
            }
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (notify->window == requestedOn_ && notify->atom == requested_ &&
                notify->state == XCB_PROPERTY_NEW_VALUE) {
                return event;
            }
        }
        std::free(event);
    }
}

void SelectionClient::Request(const std::string& target, xcb_timestamp_t time, bool withProperty) {
    const xcb_atom_t targetAtom = Atom(target);
    requested_ = withProperty ? property_ : targetAtom;
    requestedOn_ = window_;
    xcb_convert_selection(connection_, window_, clipboard_, targetAtom,
                          withProperty ? property_ : xcb_atom_t{XCB_ATOM_NONE}, time);
}

void SelectionClient::RequestOn(xcb_window_t window, const std::string& target,
                                xcb_atom_t property) {
    requested_ = property;
    requestedOn_ = window;
    xcb_convert_selection(connection_, window, clipboard_, Atom(target), property,
                          XCB_CURRENT_TIME);
}

Pasted SelectionClient::ReadProperty(xcb_atom_t property) {
    return ReadProperty(requestedOn_, property);
}

Pasted SelectionClient::ReadProperty(xcb_window_t window, xcb_atom_t property) {
    // Deleting as it reads is what asks an INCR owner for the next chunk.
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1U << 28),
        nullptr));
    if (!reply) {
        throw std::runtime_error("SelectionClient: cannot read the property");
    }
    Pasted pasted;
    pasted.type = AtomName(reply->type);
    pasted.format = reply->format;
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    pasted.data.assign(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    return pasted;
}

Pasted SelectionClient::Receive() {
    const Reply<xcb_generic_event_t> event(WaitFor(XCB_SELECTION_NOTIFY));
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
    if (notify->property == XCB_ATOM_NONE) {
        Pasted refused;
        refused.refused = true;
        return refused;
    }
    if (notify->property != requested_) {
        throw std::runtime_error("SelectionClient: the answer names another property");
    }
    Pasted pasted = ReadProperty(requested_);
    if (pasted.type == "INCR") {
        pasted.incremental = true;
        pasted.data.clear();
        pasted.type.clear();
    }
    return pasted;
}

bool SelectionClient::ReceiveChunk(Pasted* pasted) {
    std::free(WaitFor(XCB_PROPERTY_NOTIFY));
    const Pasted chunk = ReadProperty(requested_);
    pasted->type = chunk.type;
    pasted->format = chunk.format;
    pasted->data += chunk.data;
    return !chunk.data.empty();
}

Pasted SelectionClient::Paste(const std::string& target, xcb_timestamp_t time) {
    Request(target, time);
    Pasted pasted = Receive();
    if (pasted.incremental) {
        while (ReceiveChunk(&pasted)) {
        }
    }
    return pasted;
}

std::size_t SelectionClient::StartOnNewWindow(const std::string& target) {
    BridgedPaste paste;
    paste.window = AddWindow();
    xcb_convert_selection(connection_, paste.window, clipboard_, Atom(target), property_,
                          XCB_CURRENT_TIME);
    bridged_.push_back(paste);
    return bridged_.size() - 1;
}

bool SelectionClient::ServeBridged(bool readChunks, int waitMs) {
    bool any = false;
    for (;;) {
        xcb_flush(connection_);
        xcb_generic_event_t* event = xcb_poll_for_event(connection_);
        if (event == nullptr) {
            pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
            if (any || waitMs <= 0 || poll(&readable, 1, waitMs) <= 0) {
                return any;
            }
            waitMs = 0;
            continue;
        }
        const Reply<xcb_generic_event_t> owned(event);
        if (xcb_connection_has_error(connection_) != 0) {
            throw std::runtime_error("SelectionClient: connection lost");
        }
        any = true;
        const std::uint8_t kind = event->response_type & 0x7F;
        xcb_window_t window = XCB_WINDOW_NONE;
        if (kind == XCB_SELECTION_NOTIFY) {
            window = reinterpret_cast<const xcb_selection_notify_event_t*>(event)->requestor;
        } else if (kind == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (notify->atom == property_ && notify->state == XCB_PROPERTY_NEW_VALUE) {
                window = notify->window;
            }
        }
        for (BridgedPaste& paste : bridged_) {
            if (paste.window != window || window == XCB_WINDOW_NONE || paste.done) {
                continue;
            }
            if (kind == XCB_SELECTION_NOTIFY) {
                paste.answered = true;
                if (reinterpret_cast<const xcb_selection_notify_event_t*>(event)->property ==
                    XCB_ATOM_NONE) {
                    paste.pasted.refused = true;
                    paste.done = true;
                } else {
                    paste.pasted = ReadProperty(window, property_);
                    paste.pasted.incremental = paste.pasted.type == "INCR";
                    paste.done = !paste.pasted.incremental;
                    if (paste.pasted.incremental) {
                        paste.pasted.data.clear();
                    }
                }
            } else if (paste.answered && paste.pasted.incremental && readChunks) {
                const Pasted chunk = ReadProperty(window, property_);
                paste.pasted.type = chunk.type;
                paste.pasted.data += chunk.data;
                paste.done = chunk.data.empty();
            }
        }
    }
}

bool SelectionClient::FinishBridged() {
    const auto unfinished = [this] {
        return std::any_of(bridged_.begin(), bridged_.end(),
                           [](const BridgedPaste& paste) { return !paste.done; });
    };
    while (unfinished()) {
        if (!ServeBridged(true, kAnswerTimeoutMs)) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint32_t> SelectionClient::Numbers(const Pasted& pasted) {
    if (pasted.format != 32 || pasted.data.size() % 4 != 0) {
        throw std::runtime_error("SelectionClient: not a list of 32-bit numbers");
    }
    std::vector<std::uint32_t> numbers(pasted.data.size() / 4);
    std::memcpy(numbers.data(), pasted.data.data(), pasted.data.size());
    return numbers;
}

}  // namespace quirlomat::testing
