#include "clipboard/contract/hand_off_reader.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace quirlomat::keeper {

namespace {

enum class Wait : std::uint8_t { kReadable, kSignal, kFailed };

Wait WaitForInput(int fd, int signalFd) {
    for (;;) {
        pollfd fds[] = {{fd, POLLIN, 0}, {signalFd, POLLIN, 0}};
        const nfds_t count = signalFd >= 0 ? 2 : 1;
        const int ready = poll(fds, count, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return Wait::kFailed;
        }
        if (count == 2 && fds[1].revents != 0) {
            return Wait::kSignal;
        }
        return Wait::kReadable;
    }
}

// Reads up to size bytes once input is there; the count, 0 at end of file, -1 on failure
// and -2 on a signal.
ssize_t ReadSome(int fd, int signalFd, char* into, std::size_t size) {
    for (;;) {
        switch (WaitForInput(fd, signalFd)) {
            case Wait::kReadable:
                break;
            case Wait::kSignal:
                return -2;
            case Wait::kFailed:
                return -1;
        }
        const ssize_t got = read(fd, into, size);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        return got < 0 ? -1 : got;
    }
}

HandOffStatus Failure(ssize_t got) {
    return got == -2 ? HandOffStatus::kInterrupted : HandOffStatus::kUnreadable;
}

}  // namespace

HandOffStatus ReadHandOff(int fd, int signalFd, SecretBuffer* text) {
    std::size_t length = 0;
    std::size_t digits = 0;
    for (;;) {
        char c = 0;
        const ssize_t got = ReadSome(fd, signalFd, &c, 1);
        if (got < 0) {
            return Failure(got);
        }
        if (got == 0) {
            return digits == 0 ? HandOffStatus::kNotNeeded : HandOffStatus::kMalformed;
        }
        if (c == '\n' && digits > 0) {
            break;
        }
        // One decimal form per length: no sign, no blank, no leading zero.
        if (c < '0' || c > '9' || (digits == 1 && length == 0)) {
            return HandOffStatus::kMalformed;
        }
        if (++digits > hand_off::kLongestLength) {
            return HandOffStatus::kTooLong;
        }
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (length > kLargestText) {
        return HandOffStatus::kTooLong;
    }
    if (!text->Allocate(length)) {
        return HandOffStatus::kNoMemory;
    }
    std::size_t received = 0;
    while (received < length) {
        const ssize_t got = ReadSome(fd, signalFd, text->data() + received, length - received);
        if (got < 0) {
            return Failure(got);
        }
        if (got == 0) {
            return HandOffStatus::kIncomplete;
        }
        received += static_cast<std::size_t>(got);
    }
    (void)text->Resize(received);

    // The program closes its end after the text; a byte beyond it means the two disagree on
    // what was sent, and nothing of it is trusted.
    char beyond = 0;
    const ssize_t got = ReadSome(fd, signalFd, &beyond, 1);
    explicit_bzero(&beyond, sizeof beyond);
    if (got < 0) {
        return Failure(got);
    }
    return got == 0 ? HandOffStatus::kReceived : HandOffStatus::kMalformed;
}

const char* HandOffFailure(HandOffStatus status) {
    switch (status) {
        case HandOffStatus::kReceived:
        case HandOffStatus::kNotNeeded:
        case HandOffStatus::kInterrupted:
            return nullptr;
        case HandOffStatus::kMalformed:
            return "Übergabe fehlerhaft";
        case HandOffStatus::kTooLong:
            return "Text zu lang";
        case HandOffStatus::kIncomplete:
            return "Text unvollständig";
        case HandOffStatus::kNoMemory:
            return "kein Speicher für den Text";
        case HandOffStatus::kUnreadable:
            return "Text nicht lesbar";
    }
    return "Übergabe fehlerhaft";
}

}  // namespace quirlomat::keeper
