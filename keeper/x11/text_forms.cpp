#include "keeper/x11/text_forms.h"

#include "clipboard/contract/clipboard_forms.h"

namespace quirlomat::keeper::x11 {

namespace {

constexpr std::size_t kHintSize = sizeof clipboard_forms::kPasswordManagerHintValue - 1;

}  // namespace

TextForms::TextForms(const Atoms& atoms, const SecretBuffer& utf8) : atoms_(atoms), utf8_(utf8) {
    // Never longer than the UTF-8 form.
    std::size_t latin1Size = 0;
    hasLatin1_ = latin1_.Allocate(utf8.size()) &&
                 clipboard_forms::ToLatin1(utf8.data(), utf8.size(), latin1_.data(), &latin1Size) &&
                 latin1_.Resize(latin1Size);
}

bool TextForms::PayloadFor(xcb_atom_t target, Payload* payload) const {
    if (target == atoms_.utf8String || target == atoms_.text) {
        // TEXT lets the owner choose the encoding; UTF-8 loses nothing.
        *payload = {atoms_.utf8String, utf8_.data(), utf8_.size()};
    } else if (target == atoms_.textPlainUtf8) {
        *payload = {target, utf8_.data(), utf8_.size()};
    } else if (target == XCB_ATOM_STRING && hasLatin1_) {
        *payload = {XCB_ATOM_STRING, latin1_.data(), latin1_.size()};
    } else if (target == atoms_.passwordManagerHint) {
        // Clipboard managers that honour the hint compare the data of this format with
        // "secret" and then keep the text out of their history.
        *payload = {target, clipboard_forms::kPasswordManagerHintValue, kHintSize};
    } else {
        return false;
    }
    return true;
}

std::size_t TextForms::Targets(xcb_atom_t* targets) const {
    std::size_t count = 0;
    targets[count++] = atoms_.utf8String;
    targets[count++] = atoms_.textPlainUtf8;
    targets[count++] = atoms_.text;
    if (hasLatin1_) {
        targets[count++] = XCB_ATOM_STRING;
    }
    targets[count++] = atoms_.passwordManagerHint;
    return count;
}

}  // namespace quirlomat::keeper::x11
