#include "keeper/wayland/data_control.h"

#include <unistd.h>

#include <wayland-client.h>
#include <wlr-data-control-unstable-v1-client-protocol.h>
#if defined(QUIRLOMAT_HAVE_EXT_DATA_CONTROL)
#include <ext-data-control-v1-client-protocol.h>
#endif

namespace quirlomat::keeper::wayland {

// The two protocols differ in their objects' interfaces alone: the requests and events are the
// same, in the same order, with the same arguments. So the keeper speaks to either through
// libwayland's proxy calls, which take the interface as an argument, where the generated
// functions of each protocol would have to be written out twice.
struct DataControl::Protocol {
    const char* name;
    const wl_interface* manager;
    const wl_interface* device;
    const wl_interface* source;
};

namespace {

// The requests' numbers, the same in both protocols.
enum Request : std::uint8_t {
    kManagerCreateDataSource = 0,
    kManagerGetDataDevice = 1,
    kManagerDestroy = 2,
    kDeviceSetSelection = 0,
    kDeviceDestroy = 1,
    kSourceOffer = 0,
    kSourceDestroy = 1,
    kOfferDestroy = 1,
};
static_assert(ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == kManagerCreateDataSource &&
              ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == kManagerGetDataDevice &&
              ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY == kManagerDestroy &&
              ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION == kDeviceSetSelection &&
              ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == kDeviceDestroy &&
              ZWLR_DATA_CONTROL_SOURCE_V1_OFFER == kSourceOffer &&
              ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY == kSourceDestroy &&
              ZWLR_DATA_CONTROL_OFFER_V1_DESTROY == kOfferDestroy);

constexpr DataControl::Protocol kWlr = {
    "wlr-data-control-unstable-v1", &zwlr_data_control_manager_v1_interface,
    &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface};

#if defined(QUIRLOMAT_HAVE_EXT_DATA_CONTROL)
static_assert(EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == kManagerCreateDataSource &&
              EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == kManagerGetDataDevice &&
              EXT_DATA_CONTROL_MANAGER_V1_DESTROY == kManagerDestroy &&
              EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION == kDeviceSetSelection &&
              EXT_DATA_CONTROL_DEVICE_V1_DESTROY == kDeviceDestroy &&
              EXT_DATA_CONTROL_SOURCE_V1_OFFER == kSourceOffer &&
              EXT_DATA_CONTROL_SOURCE_V1_DESTROY == kSourceDestroy &&
              EXT_DATA_CONTROL_OFFER_V1_DESTROY == kOfferDestroy);

constexpr DataControl::Protocol kExt = {
    "ext-data-control-v1", &ext_data_control_manager_v1_interface,
    &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface};
#endif

// A request that creates an object of interface, from the object that receives it.
template <typename... Arguments>
wl_proxy* Create(wl_proxy* from, Request request, const wl_interface* interface,
                 Arguments... arguments) {
    return wl_proxy_marshal_flags(from, request, interface, wl_proxy_get_version(from), 0, nullptr,
                                  arguments...);
}

template <typename... Arguments>
void Send(wl_proxy* to, Request request, Arguments... arguments) {
    (void)wl_proxy_marshal_flags(to, request, nullptr, wl_proxy_get_version(to), 0, arguments...);
}

void Destroy(wl_proxy* object, Request request) {
    (void)wl_proxy_marshal_flags(object, request, nullptr, wl_proxy_get_version(object),
                                 WL_MARSHAL_FLAG_DESTROY);
}

}  // namespace

// The events, in the order the protocols list them; libwayland calls the n-th function of a
// listener for the n-th event.
struct DataControlEvents {
    struct Device {
        void (*dataOffer)(void*, wl_proxy*, wl_proxy*);
        void (*selection)(void*, wl_proxy*, wl_proxy*);
        void (*finished)(void*, wl_proxy*);
        void (*primarySelection)(void*, wl_proxy*, wl_proxy*);
    };
    struct Source {
        void (*send)(void*, wl_proxy*, const char*, std::int32_t);
        void (*cancelled)(void*, wl_proxy*);
    };

    static DataControl& Self(void* data) { return *static_cast<DataControl*>(data); }

    // Offers describe other clients' selections (or the keeper's own, as the compositor
    // passes it round); the keeper reads none of them, and destroys each once it is
    // announced as the selection, which is when a newer one replaces it for good.
    static void OnDataOffer(void*, wl_proxy*, wl_proxy*) {}
    static void OnSelection(void* data, wl_proxy*, wl_proxy* offer) {
        ++Self(data).announced_;
        if (offer != nullptr) {
            Destroy(offer, kOfferDestroy);
        }
    }
    static void OnPrimarySelection(void*, wl_proxy*, wl_proxy* offer) {
        if (offer != nullptr) {
            Destroy(offer, kOfferDestroy);
        }
    }
    // The device ends with the seat, the source when another client sets a selection; either
    // way the selection is no longer the keeper's.
    using ProxyField = decltype(&DataControl::device_);  // one spelling for both clang-formats
    static void Lose(void* data, wl_proxy* object, ProxyField member, Request destroy) {
        DataControl& self = Self(data);
        Destroy(object, destroy);
        self.*member = nullptr;
        if (self.listener_ != nullptr) {
            self.listener_->OnLost();
        }
    }
    static void OnFinished(void* data, wl_proxy* device) {
        Lose(data, device, &DataControl::device_, kDeviceDestroy);
    }
    static void OnSend(void* data, wl_proxy*, const char* mimeType, std::int32_t fd) {
        DataControl& self = Self(data);
        if (self.listener_ != nullptr) {
            self.listener_->OnSend(mimeType, fd);
        } else {
            (void)close(fd);
        }
    }
    static void OnCancelled(void* data, wl_proxy* source) {
        Lose(data, source, &DataControl::source_, kSourceDestroy);
    }

    static void Listen(wl_proxy* object, const void* listener, DataControl* self) {
        // libwayland takes a listener as an array of functions, whatever their types.
        (void)wl_proxy_add_listener(
            object, reinterpret_cast<void (**)()>(const_cast<void*>(listener)), self);
    }

    static constexpr Device kDevice = {&OnDataOffer, &OnSelection, &OnFinished,
                                       &OnPrimarySelection};
    static constexpr Source kSource = {&OnSend, &OnCancelled};
};

DataControl::DataControl(const Protocol& protocol, wl_proxy* manager, wl_seat* seat)
    : protocol_(protocol),
      manager_(manager),
      device_(Create(manager, kManagerGetDataDevice, protocol.device, seat)) {
    DataControlEvents::Listen(device_, &DataControlEvents::kDevice, this);
}

DataControl::~DataControl() {
    GiveUp();
    if (device_ != nullptr) {
        Destroy(device_, kDeviceDestroy);
    }
    Destroy(manager_, kManagerDestroy);
}

const char* DataControl::name() const {
    return protocol_.name;
}

bool DataControl::SetSelection(const char* const* mimeTypes, std::size_t count,
                               SelectionListener* listener) {
    if (source_ != nullptr || listener_ != nullptr || device_ == nullptr) {
        return false;
    }
    listener_ = listener;
    source_ = Create(manager_, kManagerCreateDataSource, protocol_.source);
    DataControlEvents::Listen(source_, &DataControlEvents::kSource, this);
    // Every type must be offered before the source becomes the selection.
    for (std::size_t i = 0; i < count; ++i) {
        Send(source_, kSourceOffer, mimeTypes[i]);
    }
    Send(device_, kDeviceSetSelection, source_);
    return true;
}

void DataControl::GiveUp() {
    if (source_ != nullptr) {
        Destroy(source_, kSourceDestroy);
        source_ = nullptr;
    }
}

namespace {

// Version 1 of either manager has everything the keeper uses.
std::unique_ptr<DataControl> Bind(const DataControl::Protocol& protocol, wl_registry* registry,
                                  std::uint32_t name, wl_seat* seat) {
    auto* manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, protocol.manager, 1));
    return std::make_unique<DataControl>(protocol, manager, seat);
}

}  // namespace

std::unique_ptr<DataControl> BindWlrDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat) {
    return Bind(kWlr, registry, name, seat);
}

#if defined(QUIRLOMAT_HAVE_EXT_DATA_CONTROL)
std::unique_ptr<DataControl> BindExtDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat) {
    return Bind(kExt, registry, name, seat);
}
#else
std::unique_ptr<DataControl> BindExtDataControl(wl_registry*, std::uint32_t, wl_seat*) {
    return nullptr;
}
#endif

}  // namespace quirlomat::keeper::wayland
