#pragma once

#include <cstddef>
#include <cstdint>

#include "clipboard/contract/hand_off_protocol.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper {

using hand_off::kLargestText;

enum class HandOffStatus : std::uint8_t {
    kReceived,     // all n bytes, then end of file
    kNotNeeded,    // end of file before the first byte: the program ended without a password
    kInterrupted,  // a termination signal arrived first
    kMalformed,    // no decimal length and newline, or more bytes than announced
    kTooLong,      // a length beyond kLargestText
    kIncomplete,   // end of file before n bytes
    kNoMemory,     // no secret memory for n bytes
    kUnreadable,   // reading failed
    kNotUtf8,      // all n bytes, but no well-formed UTF-8
};

// Reads the program's part of the hand-off (hand_off_protocol.h) from fd into text, which gets
// exactly n bytes of secret memory, and accepts them only as well-formed UTF-8. The header is read
// byte by byte, so that no byte of the password passes through other memory. Gives up at once when
// a termination signal is ready on signalFd (ignored when negative). limits, where given, gets the
// limits the header names (none for the short header); a limit beyond its range makes the header
// malformed.
HandOffStatus ReadHandOff(int fd, int signalFd, SecretBuffer* text,
                          ClipboardLimits* limits = nullptr);

// A short German reason for each status that is a failure, for the "ERR" line; null for the
// others.
const char* HandOffFailure(HandOffStatus status);

}  // namespace quirlomat::keeper
