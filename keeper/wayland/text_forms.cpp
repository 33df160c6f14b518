#include "keeper/wayland/text_forms.h"

#include <cstring>

#include "clipboard/contract/clipboard_forms.h"

namespace quirlomat::keeper::wayland {

TextForms::TextForms(const SecretBuffer& utf8) {
    // The Latin-1 form is never longer than the UTF-8 one.
    if (!latin1_.Allocate(utf8.size())) {
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
