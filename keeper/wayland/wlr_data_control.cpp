#include <wlr-data-control-unstable-v1-client-protocol.h>

#include "keeper/wayland/data_control_protocol.h"

namespace quirlomat::keeper::wayland {

namespace {
QUIRLOMAT_DATA_CONTROL_BINDINGS(Wlr, zwlr_data_control, "wlr-data-control-unstable-v1");
}  // namespace

std::unique_ptr<DataControl> BindWlrDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat) {
    return BindDataControl<Wlr>(registry, name, seat);
}

}  // namespace quirlomat::keeper::wayland
