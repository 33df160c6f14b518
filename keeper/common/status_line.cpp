#include "keeper/common/status_line.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

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

void WriteLine(const char* text) {
    WriteAll(text, std::strlen(text));
    WriteAll("\n", 1);
}

}  // namespace

void ReportReady() {
    WriteLine("READY");
}

void ReportOk() {
    WriteLine("OK");
}

int ReportError(const char* reason) {
    WriteAll("ERR ", 4);
    WriteLine(reason);
    return 1;
}

}  // namespace quirlomat::keeper
