#include "keeper/wayland/text_forms.h"

#include <cstring>
#include <initializer_list>

namespace quirlomat::keeper::wayland {

namespace {

constexpr char kPasswordManagerHint[] = "secret";

// The length of the well-formed UTF-8 sequence at text[0] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
std::size_t SequenceLength(const unsigned char* text, std::size_t left) {
    const unsigned int lead = text[0];
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned int low = 0x80;
    unsigned int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// Whether utf8 is well-formed, and whether it has a Latin-1 form (only code points below
// U+0100: ASCII and the sequences led by 0xC2 and 0xC3), which it then writes to latin1.
bool Examine(const SecretBuffer& utf8, SecretBuffer* latin1, bool* isLatin1) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t written = 0;
    *isLatin1 = true;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = SequenceLength(bytes + i, utf8.size() - i);
        if (length == 0) {
            return false;
        }
        if (*isLatin1) {
            if (length == 1) {
                latin1->data()[written++] = static_cast<char>(bytes[i]);
            } else if (length == 2 && bytes[i] <= 0xC3) {
                latin1->data()[written++] =
                    static_cast<char>(((bytes[i] & 0x03U) << 6) | (bytes[i + 1] & 0x3FU));
            } else {
                *isLatin1 = false;
            }
        }
        i += length;
    }
    (void)latin1->Resize(*isLatin1 ? written : 0);
    return true;
}

}  // namespace

TextForms::TextForms(const SecretBuffer& utf8) {
    bool isLatin1 = false;
    // The Latin-1 form is never longer than the UTF-8 one.
    if (!latin1_.Allocate(utf8.size()) || !Examine(utf8, &latin1_, &isLatin1)) {
        return;
    }
    // The first type is the one most readers take; the X names are what XWayland and older
    // toolkits ask for. "text/plain" without a charset is UTF-8 by the Wayland desktops'
    // convention, unlike STRING, which X defines as Latin-1 and which is therefore offered
    // only where the password has a Latin-1 form.
    for (const char* type : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT"}) {
        forms_[count_++] = {type, utf8.data(), utf8.size()};
    }
    if (isLatin1) {
        forms_[count_++] = {"STRING", latin1_.data(), latin1_.size()};
    }
    // Clipboard managers that honour the hint compare its data with "secret" and then keep
    // the text out of their history.
    forms_[count_++] = {"x-kde-passwordManagerHint", kPasswordManagerHint,
                        sizeof kPasswordManagerHint - 1};
    valid_ = true;
}

const TextForms::Form* TextForms::Find(const char* mimeType) const {
    for (const Form& form : *this) {
        if (std::strcmp(form.mimeType, mimeType) == 0) {
            return &form;
        }
    }
    return nullptr;
}

}  // namespace quirlomat::keeper::wayland
