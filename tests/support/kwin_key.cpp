// kwin-key KEYCODE...: presses and releases each Linux key code (28 is Enter) on KWin's
// fake-input keyboard, the way KDE Connect and remote-input tools reach KWin. KWin offers
// that interface to every client only when it runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1;
// it has no virtual-keyboard protocol, so wtype cannot serve there. Exit status: 0 sent,
// 2 no compositor or no fake input, 1 wrong arguments.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <wayland-client.h>

#include "fake-input-client-protocol.h"

namespace {

// keyboard_key came with version 4 of the interface.
constexpr std::uint32_t kKeyboardVersion = 4;

struct Globals {
    org_kde_kwin_fake_input* fakeInput = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
        version >= kKeyboardVersion) {
        globals->fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kKeyboardVersion));
    }
}

void OnGlobalRemove(void* /*data*/, wl_registry* /*registry*/, std::uint32_t /*name*/) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kwin-key KEYCODE...\n");
        return 1;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "kwin-key: no Wayland compositor\n");
        return 2;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.fakeInput == nullptr) {
        std::fprintf(stderr, "kwin-key: the compositor offers no fake input of version %u\n",
                     kKeyboardVersion);
        wl_display_disconnect(display);
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(globals.fakeInput, "quirlomat tests", "test input");
    for (int i = 1; i < argc; ++i) {
        const auto key = static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10));
        org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, key, WL_KEYBOARD_KEY_STATE_PRESSED);
        org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, key,
                                             WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    // The requests are delivered, and handled in order, once the roundtrip returns.
    const int status = wl_display_roundtrip(display) < 0 ? 2 : 0;
    org_kde_kwin_fake_input_destroy(globals.fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return status;
}
