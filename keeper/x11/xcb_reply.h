#pragma once

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace quirlomat::keeper::x11 {

// libxcb hands out replies, events and errors in memory of malloc's that the caller frees:
// the one way to hold them, for the keeper, the tests and the bench; header only, so it links
// nothing.
struct FreeDeleter {
    void operator()(void* memory) const noexcept { std::free(memory); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;
using Event = Reply<xcb_generic_event_t>;

}  // namespace quirlomat::keeper::x11
