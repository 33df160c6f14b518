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

// The length of the well-formed UTF-8 sequence at text[0] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
std::size_t SequenceLength(const unsigned char* text, std::size_t left) {
    const unsigned int lead = text[0];
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned int low = 0x80;
    unsigned int high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// The hand-off is labelled UTF-8 wherever a keeper serves it; a keeper will not label a
// broken text so.
bool IsUtf8(const SecretBuffer& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(bytes + i, text.size() - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

HandOffStatus Failure(ssize_t got) {
    return got == -2 ? HandOffStatus::kInterrupted : HandOffStatus::kUnreadable;
}

}  // namespace

HandOffStatus ReadHandOff(int fd, int signalFd, SecretBuffer* text, ClipboardLimits* limits) {
    // The length, and after it either nothing or both limits, each after one blank.
    std::size_t fields[3] = {};
    std::size_t field = 0;
    std::size_t digits = 0;
    for (;;) {
        char c = 0;
        const ssize_t got = ReadSome(fd, signalFd, &c, 1);
        if (got < 0) {
            return Failure(got);
        }
        if (got == 0) {
            return field == 0 && digits == 0 ? HandOffStatus::kNotNeeded
                                             : HandOffStatus::kMalformed;
        }
        if (c == '\n' && digits > 0 && (field == 0 || field == 2)) {
            break;
        }
        if (c == ' ' && digits > 0 && field < 2) {
            ++field;
            digits = 0;
            continue;
        }
        // One decimal form per number: no sign, no blank, no leading zero.
        if (c < '0' || c > '9' || (digits == 1 && fields[field] == 0)) {
            return HandOffStatus::kMalformed;
        }
        if (++digits > hand_off::kLongestLength) {
            return field == 0 ? HandOffStatus::kTooLong : HandOffStatus::kMalformed;
        }
        fields[field] = fields[field] * 10 + static_cast<std::size_t>(c - '0');
    }
    const std::size_t length = fields[0];
    if (field == 2) {
        // A header with limits names at least one; each within the range the program allows.
        if (fields[1] > kMostPastes || fields[2] > kMostClearAfterSeconds ||
            (fields[1] == 0 && fields[2] == 0)) {
            return HandOffStatus::kMalformed;
        }
        if (limits != nullptr) {
            limits->pastes = static_cast<std::uint32_t>(fields[1]);
            limits->clearAfterSeconds = static_cast<std::uint32_t>(fields[2]);
        }
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
    if (got != 0) {
        return HandOffStatus::kMalformed;
    }
    return IsUtf8(*text) ? HandOffStatus::kReceived : HandOffStatus::kNotUtf8;
}

const char* HandOffFailure(HandOffStatus status) {
    // Every status that is a failure; the others have no reason.
    static constexpr struct {
        HandOffStatus status;
        const char* reason;
    } kReasons[] = {
        {HandOffStatus::kMalformed, "Übergabe fehlerhaft"},
        {HandOffStatus::kTooLong, "Text zu lang"},
        {HandOffStatus::kIncomplete, "Text unvollständig"},
        {HandOffStatus::kNoMemory, "kein Speicher für den Text"},
        {HandOffStatus::kUnreadable, "Text nicht lesbar"},
        {HandOffStatus::kNotUtf8, "Text ist kein gültiges UTF-8"},
    };
    for (const auto& entry : kReasons) {
        if (entry.status == status) {
            return entry.reason;
        }
    }
    return nullptr;
}

}  // namespace quirlomat::keeper
