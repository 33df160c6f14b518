#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <poll.h>

#include "keeper/wayland/data_control.h"

struct wl_display;
struct wl_registry;
struct wl_seat;

namespace quirlomat::keeper::wayland {

// The keeper's connection to the compositor of $WAYLAND_DISPLAY, with the seat whose
// selection it owns and the data-control protocol it owns it through.
class Compositor {
public:
    // Descriptors that Wait watches beside the compositor's, at most: a termination signal
    // and every transfer the keeper serves at once.
    static constexpr std::size_t kMostWatched = 160;

    Compositor() = default;
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Connects and binds a seat and a data-control manager (ext-data-control where the
    // compositor offers it, wlr-data-control otherwise). Returns nullptr on success, else a
    // short German reason for the program that started the keeper.
    const char* Connect();

    DataControl& dataControl() { return *dataControl_; }

    // Sends what is queued, waits until the compositor has sent events or one of the count
    // descriptors in watched is ready (at most timeoutMs; negative: no limit), fills in
    // their revents, and dispatches the compositor's events. False once the connection is
    // gone or broken.
    bool Wait(pollfd* watched, std::size_t count, int timeoutMs);

    // Waits until the compositor has handled every request sent so far, dispatching the
    // events that come meanwhile; false once the connection is gone or broken.
    bool Roundtrip();

private:
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::uint32_t seatName_ = 0;
    std::uint32_t extName_ = 0;
    std::uint32_t wlrName_ = 0;
    std::unique_ptr<DataControl> dataControl_;
};

}  // namespace quirlomat::keeper::wayland
