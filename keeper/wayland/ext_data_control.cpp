#include <ext-data-control-v1-client-protocol.h>

#include "keeper/wayland/data_control_protocol.h"

namespace quirlomat::keeper::wayland {

namespace {
QUIRLOMAT_DATA_CONTROL_BINDINGS(Ext, ext_data_control, "ext-data-control-v1");
}  // namespace

std::unique_ptr<DataControl> BindExtDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat) {
    return BindDataControl<Ext>(registry, name, seat);
}

}  // namespace quirlomat::keeper::wayland
