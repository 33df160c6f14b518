#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace quirlomat::keeper::wayland {

// What becomes of the selection the keeper set.
class SelectionListener {
public:
    // A reader asks for the text as mimeType; fd is the writing end of its pipe, which the
    // listener owns from now on and must close.
    virtual void OnSend(const char* mimeType, int fd) = 0;
    // The selection is no longer the keeper's: another client set one, or the seat is gone.
    virtual void OnLost() = 0;

protected:
    ~SelectionListener() = default;
};

// A seat's selection as the data-control protocols let a client without a window own it.
// ext-data-control-v1 and wlr-data-control-unstable-v1 are one protocol under two names; one
// object (data_control.cpp) speaks either.
class DataControl {
public:
    struct Protocol;  // the interfaces of one of the two

    DataControl(const Protocol& protocol, wl_proxy* manager, wl_seat* seat);
    ~DataControl();
    DataControl(const DataControl&) = delete;
    DataControl& operator=(const DataControl&) = delete;

    // The protocol's name, for messages.
    const char* name() const;

    // Creates a source offering mimeTypes and asks the compositor to make it the selection.
    // From then on the events of the source go to listener, which must outlive this object.
    // False when a selection was set before, or the seat is gone.
    bool SetSelection(const char* const* mimeTypes, std::size_t count, SelectionListener* listener);

    // Gives the selection up, should it still be the keeper's; the listener hears no more of
    // the source.
    void GiveUp();

    // How many times the compositor has announced a new selection (anyone's, the keeper's
    // own included) since this object was made.
    std::uint32_t selectionsAnnounced() const { return announced_; }

private:
    friend struct DataControlEvents;

    const Protocol& protocol_;
    wl_proxy* manager_;
    wl_proxy* device_;
    wl_proxy* source_ = nullptr;
    SelectionListener* listener_ = nullptr;
    std::uint32_t announced_ = 0;
};

// Binds the manager that the registry announced under name and creates seat's data device.
std::unique_ptr<DataControl> BindWlrDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat);
// The same for ext-data-control; null where this build's wayland-protocols lacks it.
std::unique_ptr<DataControl> BindExtDataControl(wl_registry* registry, std::uint32_t name,
                                                wl_seat* seat);

}  // namespace quirlomat::keeper::wayland
