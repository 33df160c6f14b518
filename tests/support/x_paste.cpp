// x-paste [TARGET]: pastes CLIPBOARD as an X client with a window of its own would, and writes
// the data to standard output. XWayland bridges in wlroots serve the Wayland clipboard only to
// an X client whose window has the keyboard focus, so the window is mapped and the paste waits
// for the focus first. Exit status: 0 pasted, 1 refused by the owner, 2 no focus, no answer or
// no X server within the time limit.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>

#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLimit = std::chrono::seconds(8);
constexpr auto kMapAgainAfter = std::chrono::milliseconds(1500);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using Event = std::unique_ptr<xcb_generic_event_t, FreeDeleter>;

Event WaitFor(xcb_connection_t* c, std::uint8_t type, Clock::time_point deadline) {
    for (;;) {
        while (Event event{xcb_poll_for_event(c)}) {
            if ((event->response_type & 0x7F) == type) {
                return event;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(c) != 0) {
            return nullptr;
        }
        pollfd readable{xcb_get_file_descriptor(c), POLLIN, 0};
        (void)poll(&readable, 1, static_cast<int>(left));
    }
}

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

}  // namespace

int main(int argc, char* argv[]) {
    const char* target = argc > 1 ? argv[1] : "UTF8_STRING";
    const Clock::time_point deadline = Clock::now() + kLimit;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "x-paste: no X server\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t window = xcb_generate_id(c);
    // XWayland shows a window (and the compositor may focus it) only once it has content:
    // the background is that content.
    const std::uint32_t values[] = {screens.data->white_pixel,
                                    XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 64, 64, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screens.data->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, window);
    xcb_flush(c);
    // A window mapped under the pointer while the focus follows the pointer gets a FocusIn
    // of detail NotifyPointer before the compositor has given it anything; only the window
    // manager's focus counts.
    // Now and then (seen with sway 1.10 and Xwayland 24, a few maps in a hundred) the
    // compositor never shows a freshly mapped window, so it never gets the focus. A user
    // would open the window again, and so does this, whenever a while passes without it.
    int maps = 1;
    std::string seen;
    for (;;) {
        const Event focus =
            WaitFor(c, XCB_FOCUS_IN, std::min(deadline, Clock::now() + kMapAgainAfter));
        if (!focus) {
            if (Clock::now() < deadline) {
                xcb_unmap_window(c, window);
                xcb_map_window(c, window);
                xcb_flush(c);
                ++maps;
                continue;
            }
            std::unique_ptr<xcb_get_input_focus_reply_t, FreeDeleter> now(
                xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            std::fprintf(stderr,
                         "x-paste: the window 0x%x, mapped %d times, got no focus (focus "
                         "events, by detail:%s; the focus is on 0x%x)\n",
                         window, maps, seen.empty() ? " none" : seen.c_str(),
                         now ? now->focus : 0U);
            return 2;
        }
        const auto detail = reinterpret_cast<const xcb_focus_in_event_t*>(focus.get())->detail;
        seen += " " + std::to_string(detail);
        if (detail != XCB_NOTIFY_DETAIL_POINTER && detail != XCB_NOTIFY_DETAIL_POINTER_ROOT &&
            detail != XCB_NOTIFY_DETAIL_NONE) {
            break;
        }
    }
    if (maps > 1) {
        std::fprintf(stderr, "x-paste: the window got the focus on its map number %d\n", maps);
    }

    // The bridge may learn of the focus a moment after the window does, and refuse until
    // then; a refusal is final only once the time is up.
    const xcb_atom_t property = Intern(c, "X_PASTE");
    const xcb_atom_t clipboard = Intern(c, "CLIPBOARD");
    const xcb_atom_t wanted = Intern(c, target);
    for (;;) {
        xcb_convert_selection(c, window, clipboard, wanted, property, XCB_CURRENT_TIME);
        xcb_flush(c);
        const Event answer = WaitFor(c, XCB_SELECTION_NOTIFY, deadline);
        if (!answer) {
            std::fprintf(stderr, "x-paste: no answer from the clipboard's owner\n");
            return 2;
        }
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(answer.get())->property !=
            XCB_ATOM_NONE) {
            break;
        }
        if (Clock::now() + std::chrono::milliseconds(100) > deadline) {
            return 1;
        }
        poll(nullptr, 0, 100);
    }
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> data(xcb_get_property_reply(
        c, xcb_get_property(c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24),
        nullptr));
    if (!data) {
        return 2;
    }
    std::fwrite(xcb_get_property_value(data.get()), 1,
                static_cast<std::size_t>(xcb_get_property_value_length(data.get())), stdout);
    xcb_disconnect(c);
    return 0;
}
