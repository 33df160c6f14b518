#include "keeper/wayland/compositor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <wayland-client.h>

namespace quirlomat::keeper::wayland {

Compositor::~Compositor() {
    dataControl_.reset();
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    if (display_ != nullptr) {
        // Sends the destruction of the source, should the keeper still own the selection.
        (void)wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

void Compositor::OnGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                          std::uint32_t) {
    auto& self = *static_cast<Compositor*>(data);
    // The first seat is the one a desktop without several seats has, as wl-clipboard
    // assumes too.
    if (std::strcmp(interface, "wl_seat") == 0 && self.seatName_ == 0) {
        self.seatName_ = name;
    } else if (std::strcmp(interface, "ext_data_control_manager_v1") == 0) {
        self.extName_ = name;
    } else if (std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) {
        self.wlrName_ = name;
    }
}

void Compositor::OnGlobalRemove(void*, wl_registry*, std::uint32_t) {
    // A seat that goes away ends its data device, which the data-control object reports.
}

const char* Compositor::Connect() {
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) {
        return "Keine Verbindung zum Wayland-Compositor";
    }
    static const wl_registry_listener listener = {&OnGlobal, &OnGlobalRemove};
    registry_ = wl_display_get_registry(display_);
    (void)wl_registry_add_listener(registry_, &listener, this);
    if (!Roundtrip()) {
        return "Wayland-Compositor antwortet nicht";
    }
    if (extName_ == 0 && wlrName_ == 0) {
        return "Wayland-Compositor ohne Datenkontroll-Protokoll";
    }
    if (seatName_ == 0) {
        return "Wayland-Compositor ohne Eingabesitz";
    }
    seat_ = static_cast<wl_seat*>(wl_registry_bind(registry_, seatName_, &wl_seat_interface, 1));
    if (extName_ != 0) {
        dataControl_ = BindExtDataControl(registry_, extName_, seat_);
    }
    if (!dataControl_ && wlrName_ != 0) {
        dataControl_ = BindWlrDataControl(registry_, wlrName_, seat_);
    }
    if (!dataControl_) {
        // Only ext-data-control, and this build does not know it.
        return "Wayland-Compositor ohne bekanntes Datenkontroll-Protokoll";
    }
    // The data device announces the current selection at once; the keeper is ready when
    // the compositor has taken its device.
    if (!Roundtrip()) {
        return "Wayland-Compositor antwortet nicht";
    }
    return nullptr;
}

bool Compositor::Wait(pollfd* watched, std::size_t count, int timeoutMs) {
    count = std::min(count, kMostWatched);
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
    }
    short events = POLLIN;
    if (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        // The socket is full: the rest goes out once the compositor has read some.
        events = static_cast<short>(events | POLLOUT);
    }

    pollfd fds[1 + kMostWatched];
    fds[0] = {wl_display_get_fd(display_), events, 0};
    std::copy(watched, watched + count, fds + 1);
    const int ready = poll(fds, 1 + count, timeoutMs);
    if (ready < 0 && errno != EINTR) {
        wl_display_cancel_read(display_);
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        watched[i].revents = ready > 0 ? fds[1 + i].revents : short{0};
    }

    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        if (wl_display_read_events(display_) < 0) {
            return false;
        }
    } else {
        wl_display_cancel_read(display_);
        if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return false;
        }
    }
    return wl_display_dispatch_pending(display_) >= 0;
}

bool Compositor::Roundtrip() {
    return wl_display_roundtrip(display_) >= 0;
}

}  // namespace quirlomat::keeper::wayland
