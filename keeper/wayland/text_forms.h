#pragma once

#include <cstddef>

#include "secret/secret_buffer.h"

namespace quirlomat::keeper::wayland {

// The password in every form the keeper offers, each under its MIME type, and the hint that
// keeps clipboard managers from recording it.
class TextForms {
public:
    struct Form {
        const char* mimeType;
        const char* data;
        std::size_t size;
    };

    // Keeps a reference to utf8, which must outlive the forms.
    explicit TextForms(const SecretBuffer& utf8);
    TextForms(const TextForms&) = delete;
    TextForms& operator=(const TextForms&) = delete;

    // False when there was no memory for the Latin-1 form. The text is well-formed UTF-8: the
    // hand-off takes nothing else.
    bool valid() const { return valid_; }

    const Form* begin() const { return forms_; }
    const Form* end() const { return forms_ + count_; }
    // The form offered under mimeType, or null.
    const Form* Find(const char* mimeType) const;

private:
    SecretBuffer latin1_;
    Form forms_[6] = {};
    std::size_t count_ = 0;
    bool valid_ = false;
};

}  // namespace quirlomat::keeper::wayland
