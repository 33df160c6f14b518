#pragma once

#include <cstddef>

// The forms the password takes on the clipboard, one definition for the keepers and for the
// program's own Qt owners of the clipboard.
namespace quirlomat::clipboard_forms {

// The UTF-8 text, under the names readers ask for it by, most common first: the MIME type
// Wayland readers take, then the X names that XWayland and older toolkits use. "text/plain"
// without a charset is UTF-8 by the Wayland desktops' convention; X clients, by an older one,
// may read it as Latin-1, so the X11 keeper leaves that one out.
inline constexpr char kUtf8Mime[] = "text/plain;charset=utf-8";
inline constexpr char kUtf8String[] = "UTF8_STRING";
inline constexpr char kPlainText[] = "text/plain";
inline constexpr char kText[] = "TEXT";
inline constexpr const char* kUtf8Types[] = {kUtf8Mime, kUtf8String, kPlainText, kText};

// Latin-1, which X defines STRING to be: offered only where the password has a Latin-1 form,
// and only where X clients can ask (the keepers; not the program's windowless owner, which
// serves only on a Wayland session without XWayland).
inline constexpr char kLatin1Type[] = "STRING";

// The marker by which clipboard managers (KDE's klipper first, others following its
// convention) keep a text out of their history: this type, with this data.
inline constexpr char kPasswordManagerHint[] = "x-kde-passwordManagerHint";
inline constexpr char kPasswordManagerHintValue[] = "secret";

// Windows reads these formats, each holding a DWORD zero ("no"): no clipboard monitor, no
// clipboard history, no cloud clipboard. Older clipboard viewers and managers skip whatever
// carries the last one, whatever it holds.
inline constexpr const char* kWindowsExclusions[] = {
    "ExcludeClipboardContentFromMonitorProcessing",
    "CanIncludeInClipboardHistory",
    "CanUploadToCloudClipboard",
    "Clipboard Viewer Ignore",
};

// Writes the Latin-1 form of size bytes of well-formed UTF-8 into latin1 (room for size
// bytes: it is never longer) and its length into latin1Size; false when the text has code
// points beyond U+00FF, which are the sequences not led by 0xC2 or 0xC3.
inline bool ToLatin1(const char* utf8, std::size_t size, char* latin1, std::size_t* latin1Size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
    std::size_t written = 0;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned int code = bytes[i];
        if (code >= 0x80) {
            if ((code != 0xC2 && code != 0xC3) || i + 1 == size || (bytes[i + 1] & 0xC0) != 0x80) {
                return false;
            }
            code = ((code & 0x03U) << 6) | (bytes[++i] & 0x3FU);
        }
        latin1[written++] = static_cast<char>(code);
    }
    *latin1Size = written;
    return true;
}

}  // namespace quirlomat::clipboard_forms
