// Drives the X11 keeper's selection server in this process with what another client of the
// same X server can make it read: selection requests for any target into any property,
// MULTIPLE lists of any content, properties deleted, read and rewritten mid-transfer,
// requestor windows that vanish, and the clipboard taken away. The requests are real ones,
// made by a client through a real Xvfb (started once, ended at exit), so the server sees
// them as the X server reports them. Beyond surviving under the sanitizers the server must
// keep to its limits: never more transfers for one client than allowed, and none left once
// their time is up.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <xcb/xcb.h>

#include "keeper/x11/selection_server.h"
#include "keeper/x11/x_connection.h"
#include "secret/secret_buffer.h"
#include "support/xvfb_server.h"

namespace {

using quirlomat::keeper::Clock;
using quirlomat::keeper::x11::SelectionServer;
using quirlomat::keeper::x11::TransferLimits;
using std::chrono::milliseconds;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "selection_request_fuzz: %s\n", what);
    std::abort();
}

// Larger than one INCR chunk (64 KiB), so that a paste of it goes in several.
constexpr std::size_t kTextSize = std::size_t{150} * 1024;
constexpr int kWindows = 3;
const TransferLimits kLimits{milliseconds(1000), milliseconds(500), 2, 3};

// The atoms a request is made of: those the keeper knows, a few it does not, and None.
const char* const kAtomNames[] = {
    "CLIPBOARD",   "TARGETS", "TIMESTAMP", "MULTIPLE",
    "UTF8_STRING", "STRING",  "TEXT",      "text/plain;charset=utf-8",
    "text/plain",  "INCR",    "ATOM_PAIR", "x-kde-passwordManagerHint",
    "FUZZ_A",      "FUZZ_B",  "FUZZ_C",    "PRIMARY",
};

struct World {
    quirlomat::testing::XvfbServer xvfb;
    quirlomat::keeper::x11::XConnection keeper;
    quirlomat::SecretBuffer text;
    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    xcb_connection_t* client = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    std::vector<xcb_atom_t> atoms;

    World() {
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        if (keeper.Open() != nullptr) {
            Fail("the keeper's connection did not open");
        }
        if (!text.Allocate(kTextSize)) {
            Fail("no secret memory for the text");
        }
        for (std::size_t i = 0; i < kTextSize; ++i) {
            text.data()[i] = static_cast<char>('a' + i % 26);
        }
        (void)text.Resize(kTextSize);
        TakeClipboard();
        client = xcb_connect(xvfb.display().c_str(), nullptr);
        if (xcb_connection_has_error(client) != 0) {
            Fail("the client did not connect");
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(client)).data->root;
        atoms.push_back(XCB_ATOM_NONE);
        for (const char* name : kAtomNames) {
            const auto cookie =
                xcb_intern_atom(client, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(client, cookie, nullptr);
            atoms.push_back(reply != nullptr ? reply->atom : XCB_ATOM_NONE);
            std::free(reply);
        }
    }
    ~World() { xcb_disconnect(client); }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    void TakeClipboard() {
        if (keeper.TakeClipboard(-1, &ownedSince) != nullptr) {
            Fail("the keeper could not take the clipboard");
        }
    }

    void SyncClient() {
        std::free(xcb_get_input_focus_reply(client, xcb_get_input_focus(client), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(client)) {
            std::free(event);
        }
    }
};

World* world = nullptr;

// The fuzz input, read a byte at a time; zeros once it has run out.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool more() const { return position_ < size_; }
    std::uint8_t Byte() { return more() ? data_[position_++] : 0; }
    xcb_atom_t Atom() {
        const std::uint8_t pick = Byte();
        // Now and then an atom number no one interned.
        if (pick >= 0xF0) {
            return static_cast<xcb_atom_t>(Byte()) << 8 | Byte();
        }
        return world->atoms[pick % world->atoms.size()];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

xcb_window_t NewWindow() {
    const xcb_window_t window = xcb_generate_id(world->client);
    xcb_create_window(world->client, XCB_COPY_FROM_PARENT, window, world->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    return window;
}

// Lets the server handle all the X server has sent it by now, as at time now.
void Pump(SelectionServer& server, Clock::time_point now) {
    world->SyncClient();
    world->keeper.Sync();
    while (const quirlomat::keeper::x11::Event event = world->keeper.NextQueuedEvent()) {
        server.Handle(*event, now);
    }
    world->keeper.Sync();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    world = new World;
    std::atexit([] {
        delete world;
        world = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    xcb_connection_t* client = world->client;
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    bool lost = false;
    {
        SelectionServer server(world->keeper, world->text, world->ownedSince, kLimits);
        xcb_window_t windows[kWindows];
        for (xcb_window_t& window : windows) {
            window = NewWindow();
        }
        for (int step = 0; step < 64 && input.more(); ++step) {
            xcb_window_t& window = windows[input.Byte() % kWindows];
            switch (input.Byte() % 7) {
                case 0: {
                    const xcb_atom_t target = input.Atom();
                    const xcb_atom_t property = input.Atom();
                    const std::uint8_t when = input.Byte();
                    const xcb_timestamp_t time =
                        when < 0x80 ? XCB_CURRENT_TIME : world->ownedSince + when - 0xC0;
                    xcb_convert_selection(client, window, world->keeper.atoms().clipboard, target,
                                          property, time);
                    break;
                }
                case 1: {
                    // A property for MULTIPLE to name pairs in, or any other content.
                    const xcb_atom_t property = input.Atom();
                    const xcb_atom_t type = input.Atom();
                    constexpr std::uint8_t kFormats[] = {8, 16, 32};
                    const std::uint8_t format = kFormats[input.Byte() % 3];
                    const std::uint8_t count = input.Byte() % 16;
                    std::vector<std::uint32_t> values(count);
                    for (std::uint32_t& value : values) {
                        value = format == 32 ? input.Atom() : input.Byte();
                    }
                    std::vector<std::uint8_t> bytes(count * format / 8);
                    for (std::size_t i = 0; i < bytes.size(); ++i) {
                        bytes[i] = static_cast<std::uint8_t>(values[i * 8 / format] >>
                                                             (i % (format / 8) * 8));
                    }
                    xcb_change_property(
                        client,
                        input.Byte() % 2 == 0 ? XCB_PROP_MODE_REPLACE : XCB_PROP_MODE_APPEND,
                        window, property, type, format, count, bytes.data());
                    break;
                }
                case 2:
                    // A reader that has taken a chunk.
                    xcb_delete_property(client, window, input.Atom());
                    break;
                case 3: {
                    const xcb_atom_t property = input.Atom();
                    std::free(xcb_get_property_reply(
                        client,
                        xcb_get_property(client, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                         1U << 16),
                        nullptr));
                    break;
                }
                case 4:
                    now += milliseconds(input.Byte() * 10);
                    server.DropStalled(now);
                    break;
                case 5:
                    // A requestor that goes away mid-transfer.
                    xcb_destroy_window(client, window);
                    window = NewWindow();
                    break;
                case 6:
                    // Another client takes the clipboard.
                    xcb_set_selection_owner(client, window, world->keeper.atoms().clipboard,
                                            XCB_CURRENT_TIME);
                    lost = true;
                    break;
            }
            Pump(server, now);
            if (server.transfers() > kLimits.perClient ||
                server.waiting() > kLimits.waitingPerClient) {
                Fail("more transfers or waiting requests for one client than its limit");
            }
            // The serving loop sleeps this long: never past the stall limit while a transfer
            // runs, and without limit only when none does.
            const int sleep = server.MillisecondsToNextDeadline(now);
            if ((sleep < 0) != (server.transfers() == 0) || sleep > kLimits.stall.count()) {
                Fail("the loop would sleep past a transfer's time");
            }
        }
        for (const xcb_window_t window : windows) {
            xcb_destroy_window(client, window);
        }
        Pump(server, now);
        server.DropStalled(now + kLimits.stall + kLimits.afterLoss);
        if (server.transfers() != 0 || server.waiting() != 0) {
            Fail("a transfer or a waiting request outlived its time or its window");
        }
        if (lost && !server.Finished()) {
            Fail("not finished after losing the clipboard");
        }
    }
    if (lost) {
        world->TakeClipboard();
    }
    return 0;
}
