// Measures the program where a user meets it, on an X server of its own (Xvfb), each figure
// side by side with a yardstick in the same run:
//   start-up:   spawn until the window is mapped, against a minimal Qt window;
//   clipboard:  key press on "Erstellen" until another client has read the password, against
//               xclip setting the same text, on the bare server and under openbox;
//   keeper RSS: resident memory of the process that keeps the clipboard, against xclip's.
// Prints medians and their ratios; makes no pass/fail judgement of its own.
//
// usage: desktop_bench <quirlomat> <minimal-window> [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xtest.h>

#include "bench/bench_support.h"
#include "keeper/x11/xcb_reply.h"
#include "support/command.h"
#include "support/window_manager.h"
#include "support/xvfb_server.h"

namespace {

using quirlomat::keeper::x11::Event;
using quirlomat::keeper::x11::Reply;
using quirlomat::testing::RunningProgram;
using quirlomat::testing::StartOpenbox;
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

using quirlomat::bench::Median;

[[noreturn]] void Die(const std::string& what) {
    quirlomat::bench::Die("desktop_bench", what);
}

// Orphans (the keepers, xclip's forked child) come back to the bench, so they can be found,
// measured and reaped.
void ReapAll() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

class Observer {
public:
    explicit Observer(const std::string& display) {
        connection_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection_) != 0) {
            Die("cannot connect to " + display);
        }
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, screen_->root, XCB_CW_EVENT_MASK, &rootMask);

        window_ = xcb_generate_id(connection_);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        clipboard_ = Atom("CLIPBOARD");
        utf8_ = Atom("UTF8_STRING");
        property_ = Atom("DESKTOP_BENCH");

        const xcb_query_extension_reply_t* fixes =
            xcb_get_extension_data(connection_, &xcb_xfixes_id);
        if (fixes == nullptr || fixes->present == 0) {
            Die("no XFIXES");
        }
        fixesEvent_ = fixes->first_event;
        const Reply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            connection_, xcb_xfixes_query_version(connection_, 5, 0), nullptr));
        xcb_xfixes_select_selection_input(connection_, window_, clipboard_,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        returnKey_ = KeycodeOf(0xff0d);
        xcb_flush(connection_);
    }
    ~Observer() { xcb_disconnect(connection_); }

    // The next top-level window to be mapped.
    xcb_window_t WaitForMap() {
        for (;;) {
            const Event event = Next();
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
                if (map->override_redirect == 0) {
                    return map->window;
                }
            }
        }
    }

    void Focus(xcb_window_t window) {
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }

    void PressReturn() {
        xcb_test_fake_input(connection_, XCB_KEY_PRESS, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0,
                            0, 0);
        xcb_test_fake_input(connection_, XCB_KEY_RELEASE, returnKey_, XCB_CURRENT_TIME, XCB_NONE, 0,
                            0, 0);
        xcb_flush(connection_);
    }

    // Takes the clipboard for the bench itself, so the next owner change is the one measured
    // (and so the previous keeper, losing the clipboard, ends).
    void TakeClipboard() {
        xcb_set_selection_owner(connection_, window_, clipboard_, XCB_CURRENT_TIME);
        WaitForOwnerChange();
    }

    // Waits until CLIPBOARD changes owner, then reads it as UTF-8 the way a pasting client does.
    std::string WaitForNewOwnerAndRead() {
        WaitForOwnerChange();
        xcb_convert_selection(connection_, window_, clipboard_, utf8_, property_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        for (;;) {
            const Event event = Next();
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) {
                continue;
            }
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
            if (notify->property == XCB_NONE) {
                Die("the clipboard owner refused UTF8_STRING");
            }
            const Reply<xcb_get_property_reply_t> reply(
                xcb_get_property_reply(connection_,
                                       xcb_get_property(connection_, 1, window_, property_,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                                       nullptr));
            return {static_cast<const char*>(xcb_get_property_value(reply.get())),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
        }
    }

private:
    Event Next() {
        Event event(xcb_wait_for_event(connection_));
        if (!event) {
            Die("lost the X connection");
        }
        return event;
    }

    void WaitForOwnerChange() {
        xcb_flush(connection_);
        while ((Next()->response_type & 0x7f) != fixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
        }
    }

    xcb_atom_t Atom(const char* name) {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply->atom;
    }

    xcb_keycode_t KeycodeOf(xcb_keysym_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        const Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count),
            nullptr));
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(reply.get()); ++i) {
            if (syms[i] == keysym) {
                return static_cast<xcb_keycode_t>(setup->min_keycode +
                                                  i / reply->keysyms_per_keycode);
            }
        }
        Die("no key for Return");
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = 0;
    xcb_atom_t utf8_ = 0;
    xcb_atom_t property_ = 0;
    uint8_t fixesEvent_ = 0;
    xcb_keycode_t returnKey_ = 0;
};

double StartupMilliseconds(Observer& observer, const std::string& program,
                           const std::string& display) {
    const Clock::time_point start = Clock::now();
    const RunningProgram running({program}, display);
    observer.WaitForMap();
    return MillisecondsSince(start);
}

// The resident set of the bench's child (adopted orphan) whose command name is comm.
std::optional<long> ResidentKiB(const std::string& comm) {
    const std::string self = std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ifstream list("/proc/self/task/" + self + "/children");
        long pid = 0;
        while (list >> pid) {
            std::ifstream commFile("/proc/" + std::to_string(pid) + "/comm");
            std::string name;
            std::getline(commFile, name);
            if (name != comm) {
                continue;
            }
            return quirlomat::bench::ResidentKiB(static_cast<pid_t>(pid));
        }
        usleep(10000);
    }
    return std::nullopt;
}

// How long the last PressAndRead took from the key press until the password was read.
double lastPress = 0.0;

// Starts the program, presses Return in its window, and reads the password the moment the
// clipboard changes hands; the time from the press to the read goes to lastPress. Under a
// window manager the window is found and activated by xdotool, outside the measurement.
std::string PressAndRead(Observer& observer, const std::string& quirlomat,
                         const std::string& display, bool managed) {
    observer.TakeClipboard();
    ReapAll();
    RunningProgram app({quirlomat}, display);
    if (managed) {
        const auto found = quirlomat::testing::RunCommand(
            {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^ZANDOs Quirlomat$"},
            display);
        const std::string window = found.out.substr(0, found.out.find('\n'));
        if (found.status != 0 ||
            quirlomat::testing::RunCommand({"xdotool", "windowactivate", "--sync", window}, display)
                    .status != 0) {
            Die("could not activate the dialog under the window manager");
        }
    } else {
        observer.Focus(observer.WaitForMap());
    }
    usleep(300000);  // let the dialog settle; not part of the measurement
    const Clock::time_point start = Clock::now();
    observer.PressReturn();
    std::string password = observer.WaitForNewOwnerAndRead();
    lastPress = MillisecondsSince(start);
    if (password.size() != 63) {
        Die("read " + std::to_string(password.size()) + " bytes instead of 63");
    }
    if (app.WaitForExit() != 0) {
        Die("quirlomat did not end by itself: " + app.Stderr());
    }
    return password;
}

// xclip -i started with password until another client has read it back.
double XclipUntilReadable(Observer& observer, const std::string& password,
                          const std::string& display) {
    observer.TakeClipboard();
    ReapAll();
    const Clock::time_point start = Clock::now();
    RunningProgram xclip({"xclip", "-selection", "clipboard", "-i"}, display, {}, password);
    const std::string echoed = observer.WaitForNewOwnerAndRead();
    const double elapsed = MillisecondsSince(start);
    if (echoed != password) {
        Die("xclip served something else");
    }
    xclip.WaitForExit();
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <quirlomat> <minimal-window> [runs]\n", argv[0]);
        return 2;
    }
    const std::string quirlomat = argv[1];
    const std::string minimal = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    signal(SIGPIPE, SIG_IGN);

    quirlomat::testing::XvfbServer server;
    Observer observer(server.display());

    // One unmeasured start of each warms the file cache and fontconfig's.
    StartupMilliseconds(observer, quirlomat, server.display());
    StartupMilliseconds(observer, minimal, server.display());
    std::vector<double> ours;
    std::vector<double> yardstick;
    ours.reserve(static_cast<std::size_t>(runs));
    yardstick.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        ours.push_back(StartupMilliseconds(observer, quirlomat, server.display()));
        yardstick.push_back(StartupMilliseconds(observer, minimal, server.display()));
    }
    const double startOurs = Median(ours);
    const double startYardstick = Median(yardstick);

    std::vector<double> clipOurs;
    std::vector<double> clipXclip;
    std::vector<double> rssOurs;
    std::vector<double> rssXclip;
    for (auto* measures : {&clipOurs, &clipXclip, &rssOurs, &rssXclip}) {
        measures->reserve(static_cast<std::size_t>(runs));
    }
    for (int i = 0; i < runs; ++i) {
        const std::string password = PressAndRead(observer, quirlomat, server.display(), false);
        clipOurs.push_back(lastPress);
        if (const auto rss = ResidentKiB("quirlomat-keepe")) {  // comm is cut at 15 bytes
            rssOurs.push_back(static_cast<double>(*rss));
        }
        clipXclip.push_back(XclipUntilReadable(observer, password, server.display()));
        if (const auto rss = ResidentKiB("xclip")) {
            rssXclip.push_back(static_cast<double>(*rss));
        }
    }

    // The same on a managed desktop: a window manager between the key and the window.
    std::vector<double> managedOurs;
    std::vector<double> managedXclip;
    managedOurs.reserve(static_cast<std::size_t>(runs));
    managedXclip.reserve(static_cast<std::size_t>(runs));
    {
        const std::unique_ptr<RunningProgram> windowManager = StartOpenbox(server.display());
        if (!windowManager) {
            Die("openbox did not start");
        }
        for (int i = 0; i < runs; ++i) {
            const std::string password = PressAndRead(observer, quirlomat, server.display(), true);
            managedOurs.push_back(lastPress);
            managedXclip.push_back(XclipUntilReadable(observer, password, server.display()));
        }
        observer.TakeClipboard();
        ReapAll();
    }

    std::printf("%-44s %10s %10s %7s %6s\n", "measure (median of runs)", "quirlomat", "yardstick",
                "ratio", "goal");
    std::printf("%-44s %8.1fms %8.1fms %7.2f %6s\n", "start until window mapped (vs minimal Qt)",
                startOurs, startYardstick, startOurs / startYardstick, "<=1.1");
    const double clipA = Median(clipOurs);
    const double clipB = Median(clipXclip);
    std::printf("%-44s %8.1fms %8.1fms %7.2f %6s\n", "key press until pasted (vs xclip -i)", clipA,
                clipB, clipA / clipB, "<=1.5");
    const double managedA = Median(managedOurs);
    const double managedB = Median(managedXclip);
    std::printf("%-44s %8.1fms %8.1fms %7.2f %6s\n", "the same under openbox (vs xclip -i)",
                managedA, managedB, managedA / managedB, "<=1.5");
    if (rssOurs.empty() || rssXclip.empty()) {
        Die("could not find the keeper processes to measure");
    }
    const double rssA = Median(rssOurs);
    const double rssB = Median(rssXclip);
    std::printf("%-44s %8.0fKiB %7.0fKiB %7.2f %6s\n", "keeper resident memory (vs xclip)", rssA,
                rssB, rssA / rssB, "<=1.2");
    std::printf("(%d runs each, display %s)\n", runs, server.display().c_str());
    return 0;
}
