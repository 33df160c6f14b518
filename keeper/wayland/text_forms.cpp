#include "keeper/wayland/text_forms.h"

#include <cstring>

#include "clipboard/contract/clipboard_forms.h"

namespace quirlomat::keeper::wayland {

namespace {

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

bool IsUtf8(const SecretBuffer& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(bytes + i, text.size() - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

TextForms::TextForms(const SecretBuffer& utf8) {
    // The Latin-1 form is never longer than the UTF-8 one.
    if (!IsUtf8(utf8) || !latin1_.Allocate(utf8.size())) {
        return;
    }
    for (const char* type : clipboard_forms::kUtf8Types) {
        forms_[count_++] = {type, utf8.data(), utf8.size()};
    }
    std::size_t latin1Size = 0;
    if (clipboard_forms::ToLatin1(utf8.data(), utf8.size(), latin1_.data(), &latin1Size)) {
        (void)latin1_.Resize(latin1Size);
        forms_[count_++] = {clipboard_forms::kLatin1Type, latin1_.data(), latin1_.size()};
    }
    forms_[count_++] = {clipboard_forms::kPasswordManagerHint,
                        clipboard_forms::kPasswordManagerHintValue,
                        sizeof clipboard_forms::kPasswordManagerHintValue - 1};
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
