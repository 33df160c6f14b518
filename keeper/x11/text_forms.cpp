#include "keeper/x11/text_forms.h"

namespace quirlomat::keeper {

namespace {

constexpr char kPasswordManagerHint[] = "secret";

// Latin-1 is the first 256 code points: ASCII, and the two-byte sequences led by 0xC2 and
// 0xC3. Anything else (a longer sequence, an overlong or broken one) has no Latin-1 form.
bool EncodeLatin1(const SecretBuffer& utf8, SecretBuffer* latin1) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned int code = bytes[i];
        if (code >= 0x80) {
            if ((code != 0xC2 && code != 0xC3) || i + 1 == utf8.size() ||
                (bytes[i + 1] & 0xC0) != 0x80) {
                return false;
            }
            code = ((code & 0x1F) << 6) | (bytes[++i] & 0x3F);
        }
        if (!latin1->Push(static_cast<char>(code))) {
            return false;
        }
    }
    return true;
}

}  // namespace

TextForms::TextForms(const Atoms& atoms, const SecretBuffer& utf8) : atoms_(atoms), utf8_(utf8) {
    // Never longer than the UTF-8 form.
    hasLatin1_ = latin1_.Allocate(utf8.size()) && EncodeLatin1(utf8_, &latin1_);
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
        *payload = {target, kPasswordManagerHint, sizeof kPasswordManagerHint - 1};
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

}  // namespace quirlomat::keeper
