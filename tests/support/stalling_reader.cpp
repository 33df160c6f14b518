// stalling-reader COUNT TYPE HOLD_MS: asks for the clipboard as TYPE COUNT times through the
// core protocol (wl_data_device), each time with a pipe shrunk to one page, and reads none of
// them for HOLD_MS. A reader that stalls with a pipe of ordinary size is no test of the owner:
// a compositor that relays each paste (Mutter) buffers about 64 KiB of its own, and a pipe of
// 64 KiB more is further room, so that the owner's writes of a longer text never wait at all.
//
// The compositor sends the selection only to the client with the keyboard focus, so this maps
// a small window first, and unmaps it once it has asked, so that the next client gets the
// focus. It writes "asked" to standard error once the compositor has taken every request.
// Exit status: 0 held and let go, 1 wrong arguments, 2 no compositor, a global it needs, the
// focus or a selection of TYPE within the time limit.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLimit = std::chrono::seconds(10);
constexpr int kSide = 32;

struct Client {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    wl_data_device_manager* manager = nullptr;
    xdg_wm_base* shell = nullptr;
    bool configured = false;
    // The offer the compositor announced last, with the types it offered; the selection, once
    // the compositor has named it.
    wl_data_offer* announced = nullptr;
    std::vector<std::string> announcedTypes;
    wl_data_offer* selection = nullptr;
    std::vector<std::string> selectionTypes;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto& client = *static_cast<Client*>(data);
    const auto bind = [&](const wl_interface& wanted, std::uint32_t most) {
        return wl_registry_bind(registry, name, &wanted, version < most ? version : most);
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        client.compositor = static_cast<wl_compositor*>(bind(wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        client.shm = static_cast<wl_shm*>(bind(wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && client.seat == nullptr) {
        client.seat = static_cast<wl_seat*>(bind(wl_seat_interface, 1));
    } else if (std::strcmp(interface, wl_data_device_manager_interface.name) == 0) {
        client.manager =
            static_cast<wl_data_device_manager*>(bind(wl_data_device_manager_interface, 3));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        client.shell = static_cast<xdg_wm_base*>(bind(xdg_wm_base_interface, 1));
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

void OnPing(void*, xdg_wm_base* shell, std::uint32_t serial) {
    xdg_wm_base_pong(shell, serial);
}
void OnSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Client*>(data)->configured = true;
}
void OnToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void OnToplevelClose(void*, xdg_toplevel*) {}

void OnOfferType(void* data, wl_data_offer* offer, const char* type) {
    auto& client = *static_cast<Client*>(data);
    if (offer == client.announced) {
        client.announcedTypes.emplace_back(type);
    }
}
void OnOfferActions(void*, wl_data_offer*, std::uint32_t) {}
void OnOfferAction(void*, wl_data_offer*, std::uint32_t) {}

void OnDataOffer(void* data, wl_data_device*, wl_data_offer* offer) {
    static const wl_data_offer_listener listener = {&OnOfferType, &OnOfferActions, &OnOfferAction};
    auto& client = *static_cast<Client*>(data);
    (void)wl_data_offer_add_listener(offer, &listener, &client);
    client.announced = offer;
    client.announcedTypes.clear();
}
void OnSelection(void* data, wl_data_device*, wl_data_offer* offer) {
    auto& client = *static_cast<Client*>(data);
    if (client.selection != nullptr && client.selection != offer) {
        wl_data_offer_destroy(client.selection);
    }
    client.selection = offer;
    client.selectionTypes =
        offer == client.announced ? client.announcedTypes : std::vector<std::string>();
}
void OnEnter(void*, wl_data_device*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t,
             wl_data_offer*) {}
void OnLeave(void*, wl_data_device*) {}
void OnMotion(void*, wl_data_device*, std::uint32_t, wl_fixed_t, wl_fixed_t) {}
void OnDrop(void*, wl_data_device*) {}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "stalling-reader: %s\n", what);
    std::exit(2);
}

// Dispatches the compositor's events until done() holds; false when the time is up first or
// the connection has failed.
template <typename Done>
bool DispatchUntil(wl_display* display, Done done, Clock::time_point deadline) {
    while (!done()) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
        }
        (void)wl_display_flush(display);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd readable = {wl_display_get_fd(display), POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display);
            return done();
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    return true;
}

// What wl_display_roundtrip does, within the time limit.
bool Roundtrip(wl_display* display, Clock::time_point deadline) {
    bool answered = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback* callback, std::uint32_t) {
            *static_cast<bool*>(data) = true;
            wl_callback_destroy(callback);
        }};
    (void)wl_callback_add_listener(wl_display_sync(display), &listener, &answered);
    const auto isAnswered = [&] { return answered; };
    return DispatchUntil(display, isAnswered, deadline);
}

// A white buffer of kSide pixels square: a window shows, and is focused, only with content.
wl_buffer* WhiteBuffer(wl_shm* shm) {
    const int size = kSide * kSide * 4;
    const int fd = memfd_create("stalling-reader", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        Fail("no shared memory");
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        Fail("no shared memory");
    }
    std::memset(pixels, 0xFF, size);
    (void)munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, kSide, kSide, kSide * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

bool Offers(const Client& client, const std::string& type) {
    for (const std::string& offered : client.selectionTypes) {
        if (offered == type) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 4 || std::atoi(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: stalling-reader COUNT TYPE HOLD_MS\n");
        return 1;
    }
    const int count = std::atoi(argv[1]);
    const std::string type = argv[2];
    const auto hold = std::chrono::milliseconds(std::atoi(argv[3]));
    const Clock::time_point deadline = Clock::now() + kLimit;

    Client client;
    client.display = wl_display_connect(nullptr);
    if (client.display == nullptr) {
        Fail("no compositor");
    }
    static const wl_registry_listener registryListener = {&OnGlobal, &OnGlobalRemove};
    wl_registry* registry = wl_display_get_registry(client.display);
    (void)wl_registry_add_listener(registry, &registryListener, &client);
    if (!Roundtrip(client.display, deadline)) {
        Fail("the compositor did not answer in time");
    }
    if (client.compositor == nullptr || client.shm == nullptr || client.seat == nullptr ||
        client.manager == nullptr || client.shell == nullptr) {
        Fail("the compositor lacks a global this needs");
    }
    static const xdg_wm_base_listener shellListener = {&OnPing};
    (void)xdg_wm_base_add_listener(client.shell, &shellListener, &client);

    // The device first: the selection comes with the focus, which may come with the first map.
    static const wl_data_device_listener deviceListener = {&OnDataOffer, &OnEnter, &OnLeave,
                                                           &OnMotion,    &OnDrop,  &OnSelection};
    wl_data_device* device = wl_data_device_manager_get_data_device(client.manager, client.seat);
    (void)wl_data_device_add_listener(device, &deviceListener, &client);

    static const xdg_surface_listener surfaceListener = {&OnSurfaceConfigure};
    // Later xdg-shell descriptions add events, which version 1 never receives.
    xdg_toplevel_listener toplevelListener{};
    toplevelListener.configure = &OnToplevelConfigure;
    toplevelListener.close = &OnToplevelClose;
    wl_surface* surface = wl_compositor_create_surface(client.compositor);
    xdg_surface* shellSurface = xdg_wm_base_get_xdg_surface(client.shell, surface);
    (void)xdg_surface_add_listener(shellSurface, &surfaceListener, &client);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(shellSurface);
    (void)xdg_toplevel_add_listener(toplevel, &toplevelListener, &client);
    xdg_toplevel_set_title(toplevel, "stalling-reader");
    wl_surface_commit(surface);
    const auto configured = [&] { return client.configured; };
    if (!DispatchUntil(client.display, configured, deadline)) {
        Fail("the window was never configured");
    }
    wl_buffer* buffer = WhiteBuffer(client.shm);
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_commit(surface);
    const auto offered = [&] { return Offers(client, type); };
    if (!DispatchUntil(client.display, offered, deadline)) {
        Fail("no focus, or no selection of that type");
    }

    // The reading ends stay open and unread; the writing ends are the compositor's alone.
    // They do not block: Mutter writes on its main thread into the descriptor as it gets it,
    // and a blocking pipe that is full stops the whole compositor there.
    std::vector<int> unread;
    for (int i = 0; i < count; ++i) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0 || fcntl(ends[0], F_SETPIPE_SZ, 4096) < 0 ||
            fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0) {
            Fail("no pipe of one page");
        }
        wl_data_offer_receive(client.selection, type.c_str(), ends[1]);
        (void)wl_display_flush(client.display);
        close(ends[1]);
        unread.push_back(ends[0]);
    }
    xdg_toplevel_destroy(toplevel);
    xdg_surface_destroy(shellSurface);
    wl_surface_destroy(surface);
    wl_buffer_destroy(buffer);
    if (!Roundtrip(client.display, deadline)) {
        Fail("the compositor did not take the requests in time");
    }
    std::fprintf(stderr, "asked\n");

    std::this_thread::sleep_for(hold);
    for (const int fd : unread) {
        close(fd);
    }
    // Left as a well-behaved client leaves, so that the sanitizers find nothing left over.
    if (client.selection != nullptr) {
        wl_data_offer_destroy(client.selection);
    }
    wl_data_device_destroy(device);
    wl_data_device_manager_destroy(client.manager);
    xdg_wm_base_destroy(client.shell);
    wl_seat_destroy(client.seat);
    wl_shm_destroy(client.shm);
    wl_compositor_destroy(client.compositor);
    wl_registry_destroy(registry);
    wl_display_disconnect(client.display);
    return 0;
}
