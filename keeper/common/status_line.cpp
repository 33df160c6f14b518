#include "keeper/common/status_line.h"

#include <cerrno>
#include <string_view>
#include <unistd.h>

#include "clipboard/contract/hand_off_protocol.h"

namespace quirlomat::keeper {

namespace {

// A program that has stopped listening gets no line; the keeper's own course does not
// depend on whether it was read.
void WriteAll(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, text, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

void WriteLine(std::string_view text) {
    WriteAll(text.data(), text.size());
    WriteAll("\n", 1);
}

}  // namespace

void ReportReady() {
    WriteLine(hand_off::kReady);
}

void ReportOk() {
    WriteLine(hand_off::kOk);
}

int ReportError(const char* reason) {
    WriteAll(hand_off::kErrorPrefix.data(), hand_off::kErrorPrefix.size());
    WriteLine(reason);
    return 1;
}

}  // namespace quirlomat::keeper
