// quirlomat-keeper: owns the X11 clipboard on behalf of the program that started it, which
// ends right after handing over the password. The conversation with the program is in
// keeper/common: "READY" once connected, then the length and the text, then "OK" once the
// keeper owns CLIPBOARD, or "ERR <reason>" with the clipboard untouched.

#include <unistd.h>

#include "keeper/common/detach.h"
#include "keeper/common/hand_off_reader.h"
#include "keeper/common/status_line.h"
#include "keeper/common/termination_signals.h"
#include "keeper/x11/selection_server.h"
#include "keeper/x11/x_connection.h"
#include "secret/hardening.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper {
namespace {

int KeepClipboard() {
    // Descriptors the program leaked to the keeper would live on with it; it needs none
    // beyond its standard three.
    closefrom(STDERR_FILENO + 1);
    HardenProcess();
    LockAllMemory();
    const int signalFd = TerminationSignals();
    if (signalFd < 0) {
        return ReportError("Signale nicht einrichtbar");
    }
    LeaveCallersSession();

    XConnection x;
    if (const char* reason = x.Open()) {
        return ReportError(reason);
    }
    ReportReady();

    SecretBuffer text;
    const HandOffStatus handOff = ReadHandOff(STDIN_FILENO, signalFd, &text);
    if (handOff == HandOffStatus::kNotNeeded || handOff == HandOffStatus::kInterrupted) {
        return 0;
    }
    if (const char* reason = HandOffFailure(handOff)) {
        return ReportError(reason);
    }

    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    if (const char* reason = x.TakeClipboard(signalFd, &ownedSince)) {
        return ReportError(reason);
    }
    SelectionServer server(x, text, ownedSince);
    ReportOk();
    Detach();
    Serve(x, server, signalFd);
    return 0;
}

}  // namespace
}  // namespace quirlomat::keeper

int main() {
    return quirlomat::keeper::KeepClipboard();
}
