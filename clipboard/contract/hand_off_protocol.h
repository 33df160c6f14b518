#pragma once

#include <cstddef>
#include <string_view>

#include "clipboard/contract/clipboard_limits.h"

// The conversation between the program and a clipboard keeper it starts, one definition for
// both sides and for the tests that speak it. On the keeper's standard output and input:
//
//   keeper   "READY\n"          it can own the clipboard and waits for the text
//   program  "<n>\n", n bytes   n in decimal, the byte count of the UTF-8 text; then the
//                               program closes its end
//         or "<n> <p> <s>\n", n bytes
//                               the same with the user's limits (clipboard_limits.h): gone
//                               after p pastes, s seconds after the hand-off; 0 is no limit,
//                               and a text without limits has the short header, as ever
//   keeper   "OK\n"             it owns the clipboard with the whole text
//         or "ERR <reason>\n"   (German) it does not, and the clipboard is as it was
//
// A program that closes its end before the first byte needs the keeper no longer: the keeper
// leaves quietly, with no line.
namespace quirlomat::hand_off {

inline constexpr std::string_view kReady = "READY";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kErrorPrefix = "ERR ";

// Far above any password the program makes (32767 characters of up to three bytes), yet a
// bound on what a confused parent can make a keeper hold.
inline constexpr std::size_t kLargestText = std::size_t{1024} * 1024;

// Digits of kLargestText: a length with more can only be too long.
inline constexpr std::size_t kLongestLength = [] {
    std::size_t digits = 1;
    for (std::size_t rest = kLargestText; rest >= 10; rest /= 10) {
        ++digits;
    }
    return digits;
}();

// Room for any header.
inline constexpr std::size_t kLongestHeader = 24;

// Writes number in decimal at into; returns the digits' count.
inline std::size_t WriteDecimal(std::size_t number, char* into) {
    char digits[kLongestHeader];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    for (std::size_t i = 0; i < count; ++i) {
        into[i] = digits[count - 1 - i];
    }
    return count;
}

// Writes the header announcing a text of length bytes, and the limits where there are any,
// into header; returns its size.
inline std::size_t WriteHeader(std::size_t length, char (&header)[kLongestHeader],
                               const ClipboardLimits& limits = {}) {
    std::size_t size = WriteDecimal(length, header);
    if (limits.any()) {
        header[size++] = ' ';
        size += WriteDecimal(limits.pastes, header + size);
        header[size++] = ' ';
        size += WriteDecimal(limits.clearAfterSeconds, header + size);
    }
    header[size] = '\n';
    return size + 1;
}

}  // namespace quirlomat::hand_off
