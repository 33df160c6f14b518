#pragma once

// The implementation of DataControl, once for both protocols. The generated bindings of
// the two differ in their prefix alone, which QUIRLOMAT_DATA_CONTROL_BINDINGS turns into
// a struct of types and functions for DataControlOf.

#include <cstdint>
#include <memory>
#include <unistd.h>

#include <wayland-client.h>

#include "keeper/wayland/data_control.h"

// Protocol: the struct to define; prefix: the protocol's interface prefix, such as
// zwlr_data_control. Kept out of clang-format, whose releases disagree on how to lay out a
// macro's body.
// clang-format off
#define QUIRLOMAT_DATA_CONTROL_BINDINGS(Protocol, prefix, protocolName)                            \
    struct Protocol {                                                                              \
        using Manager = prefix##_manager_v1;                                                       \
        using Device = prefix##_device_v1;                                                         \
        using Source = prefix##_source_v1;                                                         \
        using Offer = prefix##_offer_v1;                                                           \
        using DeviceListener = prefix##_device_v1_listener;                                        \
        using SourceListener = prefix##_source_v1_listener;                                        \
        static constexpr const char* kName = protocolName;                                         \
        static const wl_interface* ManagerInterface() { return &prefix##_manager_v1_interface; }   \
        static Device* GetDevice(Manager* m, wl_seat* seat) {                                      \
            return prefix##_manager_v1_get_data_device(m, seat);                                   \
        }                                                                                          \
        static Source* CreateSource(Manager* m) {                                                  \
            return prefix##_manager_v1_create_data_source(m);                                      \
        }                                                                                          \
        static void Destroy(Manager* m) { prefix##_manager_v1_destroy(m); }                        \
        static void Listen(Device* d, const DeviceListener* l, void* data) {                       \
            (void)prefix##_device_v1_add_listener(d, l, data);                                     \
        }                                                                                          \
        static void SetSelection(Device* d, Source* s) { prefix##_device_v1_set_selection(d, s); } \
        static void Destroy(Device* d) { prefix##_device_v1_destroy(d); }                          \
        static void Listen(Source* s, const SourceListener* l, void* data) {                       \
            (void)prefix##_source_v1_add_listener(s, l, data);                                     \
        }                                                                                          \
        static void AddType(Source* s, const char* type) { prefix##_source_v1_offer(s, type); }    \
        static void Destroy(Source* s) { prefix##_source_v1_destroy(s); }                          \
        static void Destroy(Offer* o) { prefix##_offer_v1_destroy(o); }                            \
    }
// clang-format on

namespace quirlomat::keeper::wayland {

template <typename P>
class DataControlOf final : public DataControl {
public:
    DataControlOf(typename P::Manager* manager, wl_seat* seat)
        : manager_(manager), device_(P::GetDevice(manager, seat)) {
        P::Listen(device_, &kDeviceListener, this);
    }
    ~DataControlOf() override {
        GiveUp();
        if (device_ != nullptr) {
            P::Destroy(device_);
        }
        P::Destroy(manager_);
    }
    DataControlOf(const DataControlOf&) = delete;
    DataControlOf& operator=(const DataControlOf&) = delete;

    const char* name() const override { return P::kName; }

    bool SetSelection(const char* const* mimeTypes, std::size_t count,
                      SelectionListener* listener) override {
        if (source_ != nullptr || listener_ != nullptr || device_ == nullptr) {
            return false;
        }
        listener_ = listener;
        source_ = P::CreateSource(manager_);
        P::Listen(source_, &kSourceListener, this);
        // Every type must be offered before the source becomes the selection.
        for (std::size_t i = 0; i < count; ++i) {
            P::AddType(source_, mimeTypes[i]);
        }
        P::SetSelection(device_, source_);
        return true;
    }

    void GiveUp() override {
        if (source_ != nullptr) {
            P::Destroy(source_);
            source_ = nullptr;
        }
    }

    std::uint32_t selectionsAnnounced() const override { return announced_; }

private:
    static DataControlOf& Self(void* data) { return *static_cast<DataControlOf*>(data); }

    // Offers describe other clients' selections (or the keeper's own, as the compositor
    // passes it round); the keeper reads none of them, and destroys each once it is
    // announced as the selection, which is when a newer one replaces it for good.
    static void OnDataOffer(void*, typename P::Device*, typename P::Offer*) {}
    static void OnSelection(void* data, typename P::Device*, typename P::Offer* offer) {
        ++Self(data).announced_;
        if (offer != nullptr) {
            P::Destroy(offer);
        }
    }
    static void OnPrimarySelection(void*, typename P::Device*, typename P::Offer* offer) {
        if (offer != nullptr) {
            P::Destroy(offer);
        }
    }
    static void OnFinished(void* data, typename P::Device* device) {
        DataControlOf& self = Self(data);
        P::Destroy(device);
        self.device_ = nullptr;
        if (self.listener_ != nullptr) {
            self.listener_->OnLost();
        }
    }
    static void OnSend(void* data, typename P::Source*, const char* mimeType, std::int32_t fd) {
        DataControlOf& self = Self(data);
        if (self.listener_ != nullptr) {
            self.listener_->OnSend(mimeType, fd);
        } else {
            (void)close(fd);
        }
    }
    static void OnCancelled(void* data, typename P::Source* source) {
        DataControlOf& self = Self(data);
        P::Destroy(source);
        self.source_ = nullptr;
        if (self.listener_ != nullptr) {
            self.listener_->OnLost();
        }
    }

    static constexpr typename P::DeviceListener kDeviceListener = {
        &OnDataOffer, &OnSelection, &OnFinished, &OnPrimarySelection};
    static constexpr typename P::SourceListener kSourceListener = {&OnSend, &OnCancelled};

    typename P::Manager* manager_;
    typename P::Device* device_;
    typename P::Source* source_ = nullptr;
    SelectionListener* listener_ = nullptr;
    std::uint32_t announced_ = 0;
};

// Version 1 of either manager has everything the keeper uses.
template <typename P>
std::unique_ptr<DataControl> BindDataControl(wl_registry* registry, std::uint32_t name,
                                             wl_seat* seat) {
    auto* manager = static_cast<typename P::Manager*>(
        wl_registry_bind(registry, name, P::ManagerInterface(), 1));
    return std::make_unique<DataControlOf<P>>(manager, seat);
}

}  // namespace quirlomat::keeper::wayland
