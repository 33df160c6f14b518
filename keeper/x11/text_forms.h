#pragma once

#include <cstddef>
#include <cstdint>

#include <xcb/xcb.h>

#include "keeper/x11/x_connection.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper::x11 {

// One form of the text, as it goes into a property of format 8.
struct Payload {
    xcb_atom_t type = XCB_ATOM_NONE;
    const char* data = nullptr;
    std::size_t size = 0;
};

// The text in every form the keeper offers it in: UTF-8 under UTF8_STRING, TEXT and
// text/plain;charset=utf-8; Latin-1 under STRING where the text has a Latin-1 form; and the
// marker that keeps clipboard managers from recording it.
class TextForms {
public:
    // utf8 must outlive the forms; the Latin-1 form lives in secret memory of its own.
    TextForms(const Atoms& atoms, const SecretBuffer& utf8);
    TextForms(const TextForms&) = delete;
    TextForms& operator=(const TextForms&) = delete;

    // The data for target; false when the text has no such form.
    bool PayloadFor(xcb_atom_t target, Payload* payload) const;

    // The targets of PayloadFor that the text has, in order of preference, into targets
    // (room for kMaxTargets); their number.
    static constexpr std::size_t kMaxTargets = 5;
    std::size_t Targets(xcb_atom_t* targets) const;

private:
    const Atoms& atoms_;
    const SecretBuffer& utf8_;
    SecretBuffer latin1_;
    bool hasLatin1_ = false;
};

}  // namespace quirlomat::keeper::x11
