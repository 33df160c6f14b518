#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace quirlomat::delivery {

// What the descriptor a reader handed over turned out to be, learned by the first write.
enum class Sink : std::uint8_t { kUnknown, kSocket, kOther };

// Installs what WriteWithoutWaiting needs of the process (a do-nothing SIGALRM handler that
// interrupts system calls); once, before the keeper is confined. False when it cannot.
bool PrepareWritesWithoutWaiting();

// Writes as much of data as fd takes at once, and never waits for the reader, whatever the
// reader has done to the descriptor. O_NONBLOCK is no help here: it belongs to the open file
// description, which the reader shares and may clear at any time. So a socket is written with
// MSG_DONTWAIT, which is the call's own; anything else (a pipe, as every reader sends) is
// written PIPE_BUF bytes at a time, each only once poll() has shown room for it, which a pipe
// never fails to take; a timer interrupts a write that blocks all the same, which only a third
// party writing into the reader's pipe can bring about. Returns the count written (0: no room
// now), or -1 when the reader is gone or the descriptor cannot be served.
ssize_t WriteWithoutWaiting(int fd, const char* data, std::size_t size, Sink* sink);

}  // namespace quirlomat::delivery
