// Feeds arbitrary bytes to the keeper's hand-off reader, as the program's end of the pipe
// would send them, and checks what it accepts: a received text is exactly the bytes its
// header announced, in its one decimal form, never more than kLargestText; and every
// well-formed hand-off is received whole.

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

// The text of a well-formed hand-off: "<n>\n", n in decimal without sign or leading zero
// and at most kLargestText, then exactly n bytes. Nothing when bytes are anything else.
std::optional<std::string_view> WellFormedText(std::string_view bytes) {
    const std::size_t newline = bytes.find('\n');
    if (newline == std::string_view::npos || newline == 0 || newline > 7) {
        return std::nullopt;
    }
    const std::string_view digits = bytes.substr(0, newline);
    if (digits.find_first_not_of("0123456789") != std::string_view::npos ||
        (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    const std::size_t length = std::stoul(std::string(digits));
    const std::string_view text = bytes.substr(newline + 1);
    if (length > kLargestText || text.size() != length) {
        return std::nullopt;
    }
    return text;
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
    const HandOffStatus status = quirlomat::keeper::ReadHandOff(fd, -1, &text);
    close(fd);

    if ((status == HandOffStatus::kNotNeeded) != bytes.empty()) {
        Fail("'not needed' for other than an empty hand-off");
    }
    const std::optional<std::string_view> expected = WellFormedText(bytes);
    if (status == HandOffStatus::kReceived) {
        if (!expected) {
            Fail("received a malformed hand-off");
        }
        if (text.size() != expected->size() ||
            std::memcmp(text.data(), expected->data(), expected->size()) != 0) {
            Fail("received other bytes than announced");
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
