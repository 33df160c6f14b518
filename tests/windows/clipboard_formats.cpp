// A second Windows program that reads the clipboard the way a clipboard monitor or the
// clipboard history would: it prints the text (as UTF-8, without a line end) on standard
// output and checks the formats that keep the text out of monitors, history and the cloud
// clipboard. Exit status 0 when the text is there and every marker is a DWORD 0, 1 when
// something is missing (said on standard error), 2 when the clipboard cannot be opened.
//
// usage: clipboard_formats [--none]   --none: the markers must be absent instead
//        clipboard_formats --standard-key-letters
//                                      prints the key letters the window starts with, which
//                                      the test checks the password against
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

#include "clipboard/contract/clipboard_forms.h"
#include "generator/standard_key_letters.h"

namespace {

// The clipboard may be busy for a moment (the program that set it, Wine's X11 bridge).
bool OpenWithRetries() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(size), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size) - 1);
    return utf8;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--standard-key-letters") == 0) {
        // All of them ASCII.
        for (const char16_t letter : quirlomat::StandardKeyLetters) {
            (void)std::putchar(static_cast<char>(letter));
        }
        return 0;
    }
    const bool markersAbsent = argc > 1 && std::strcmp(argv[1], "--none") == 0;
    if (!OpenWithRetries()) {
        std::fprintf(stderr, "clipboard_formats: cannot open the clipboard\n");
        return 2;
    }
    int status = 0;
    const HANDLE text = GetClipboardData(CF_UNICODETEXT);
    if (text == nullptr) {
        std::fprintf(stderr, "clipboard_formats: no text on the clipboard\n");
        status = 1;
    } else if (const auto* units = static_cast<const wchar_t*>(GlobalLock(text))) {
        const std::string utf8 = Utf8(units);
        (void)std::fwrite(utf8.data(), 1, utf8.size(), stdout);
        (void)GlobalUnlock(text);
    }
    for (const char* name : quirlomat::clipboard_forms::kWindowsExclusions) {
        const UINT format = RegisterClipboardFormatA(name);
        const HANDLE data = format != 0 ? GetClipboardData(format) : nullptr;
        if (markersAbsent) {
            if (data != nullptr) {
                std::fprintf(stderr, "clipboard_formats: %s is there\n", name);
                status = 1;
            }
            continue;
        }
        if (data == nullptr) {
            std::fprintf(stderr, "clipboard_formats: %s is missing\n", name);
            status = 1;
            continue;
        }
        const SIZE_T size = GlobalSize(data);
        const auto* bytes = static_cast<const unsigned char*>(GlobalLock(data));
        DWORD value = 1;
        if (bytes != nullptr && size >= sizeof value) {
            std::memcpy(&value, bytes, sizeof value);
        }
        if (bytes != nullptr) {
            (void)GlobalUnlock(data);
        }
        if (size < sizeof value || value != 0) {
            std::fprintf(stderr, "clipboard_formats: %s is not a DWORD 0 (%lu bytes)\n", name,
                         static_cast<unsigned long>(size));
            status = 1;
        }
    }
    (void)CloseClipboard();
    return status;
}
