#pragma once

#include <optional>

#include "clipboard/contract/clipboard_limits.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper {

// The start every keeper makes before it speaks to its display system: only the standard
// three descriptors kept, the process hardened and all of its memory locked, termination
// signals on a descriptor of their own, and a session of its own. Returns that descriptor,
// or -1 once the failure has been reported (the keeper then ends with ReportError's status).
int StartKeeper();

// Reads the password from standard input after "READY". Returns the exit status when the
// keeper is to end here: 0 when the program ended without a password or a termination signal
// came first, ReportError's status after a failed hand-off or confinement. Returns nothing
// once text holds the whole password and the keeper is confined (confinement.h): from then on
// it can only serve what it has, and detaching (detach.h) is prepared.
// limits, where given, gets the limits the program set.
std::optional<int> ReceivePassword(int signalFd, SecretBuffer* text,
                                   ClipboardLimits* limits = nullptr);

}  // namespace quirlomat::keeper
