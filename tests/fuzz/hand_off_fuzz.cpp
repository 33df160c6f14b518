// Feeds arbitrary bytes to the keeper's hand-off reader, as the program's end of the pipe
// would send them, and checks what it accepts: a received text is exactly the bytes its
// header announced, in its one decimal form, never more than kLargestText, always UTF-8, with
// the limits the header names; and every well-formed hand-off is received whole.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "clipboard/contract/hand_off_reader.h"
#include "secret/secret_buffer.h"

namespace {

using quirlomat::keeper::HandOffStatus;
using quirlomat::keeper::kLargestText;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "hand_off_fuzz: %s\n", what);
    std::abort();
}

// A number of the header: decimal, without sign or leading zero, at most seven digits.
std::optional<std::size_t> Number(std::string_view digits) {
    if (digits.empty() || digits.size() > 7 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos ||
        (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    return std::stoul(std::string(digits));
}

// Well-formed UTF-8, checked by decoding each code point: no overlong form, no surrogate,
// nothing beyond U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if ((lead >= 0x80 && lead < 0xC0) || lead > 0xF7 || i + length > text.size()) {
            return false;
        }
        std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

struct WellFormed {
    std::string_view text;
    quirlomat::ClipboardLimits limits;
};

// A well-formed hand-off: "<n>\n" or "<n> <pastes> <seconds>\n", n at most kLargestText,
// the limits in their ranges and not both 0, then exactly n bytes of UTF-8. Nothing when
// bytes are anything else.
std::optional<WellFormed> WellFormedHandOff(std::string_view bytes) {
    const std::size_t newline = bytes.find('\n');
    if (newline == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view header = bytes.substr(0, newline);
    std::optional<std::size_t> fields[3];
    std::size_t count = 0;
    for (; count < 3; ++count) {
        const std::size_t blank = header.find(' ');
        fields[count] = Number(header.substr(0, blank));
        if (!fields[count] || blank == std::string_view::npos) {
            break;
        }
        header.remove_prefix(blank + 1);
    }
    if (!fields[0] || (count != 0 && count != 2) || !fields[count]) {
        return std::nullopt;
    }
    WellFormed found{bytes.substr(newline + 1), {}};
    if (count == 2) {
        if (*fields[1] > quirlomat::kMostPastes || *fields[2] > quirlomat::kMostClearAfterSeconds ||
            (*fields[1] == 0 && *fields[2] == 0)) {
            return std::nullopt;
        }
        found.limits.pastes = static_cast<std::uint32_t>(*fields[1]);
        found.limits.clearAfterSeconds = static_cast<std::uint32_t>(*fields[2]);
    }
    if (*fields[0] > kLargestText || found.text.size() != *fields[0] || !IsUtf8(found.text)) {
        return std::nullopt;
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A file in memory reads like the pipe at its end: all there, then end of file.
    const int fd = memfd_create("hand-off", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0) {
        Fail("no memory file for the input");
    }
    quirlomat::SecretBuffer text;
    quirlomat::ClipboardLimits limits;
    const HandOffStatus status = quirlomat::keeper::ReadHandOff(fd, -1, &text, &limits);
    close(fd);

    if ((status == HandOffStatus::kNotNeeded) != bytes.empty()) {
        Fail("'not needed' for other than an empty hand-off");
    }
    const std::optional<WellFormed> expected = WellFormedHandOff(bytes);
    if (status == HandOffStatus::kReceived) {
        if (!expected) {
            Fail("received a malformed hand-off");
        }
        if (text.size() != expected->text.size() ||
            std::memcmp(text.data(), expected->text.data(), expected->text.size()) != 0) {
            Fail("received other bytes than announced");
        }
        if (limits.pastes != expected->limits.pastes ||
            limits.clearAfterSeconds != expected->limits.clearAfterSeconds) {
            Fail("received other limits than announced");
        }
        if (text.size() > kLargestText) {
            Fail("received more than kLargestText");
        }
    } else if (expected && status != HandOffStatus::kNoMemory) {
        Fail("refused a well-formed hand-off");
    }
    if (status != HandOffStatus::kReceived && status != HandOffStatus::kNotNeeded &&
        status != HandOffStatus::kInterrupted &&
        quirlomat::keeper::HandOffFailure(status) == nullptr) {
        Fail("a failure without a reason");
    }
    return 0;
}
