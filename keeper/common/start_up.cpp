#include "keeper/common/start_up.h"

#include <unistd.h>

#include "clipboard/contract/hand_off_reader.h"
#include "keeper/common/confinement.h"
#include "keeper/common/detach.h"
#include "keeper/common/status_line.h"
#include "keeper/common/termination_signals.h"
#include "secret/hardening.h"

namespace quirlomat::keeper {

int StartKeeper() {
    // Descriptors the program leaked to the keeper would live on with it; it needs none
    // beyond its standard three.
    closefrom(STDERR_FILENO + 1);
    HardenProcess();
    // Before the lock: what making the filter leaves behind is given back, not locked.
    (void)PrepareConfinement();
    LockAllMemory();
    const int signalFd = TerminationSignals();
    if (signalFd < 0) {
        (void)ReportError("Signale nicht einrichtbar");
        return -1;
    }
    LeaveCallersSession();
    return signalFd;
}

std::optional<int> ReceivePassword(int signalFd, SecretBuffer* text, ClipboardLimits* limits) {
    const HandOffStatus handOff = ReadHandOff(STDIN_FILENO, signalFd, text, limits);
    if (handOff == HandOffStatus::kNotNeeded || handOff == HandOffStatus::kInterrupted) {
        return 0;
    }
    if (const char* reason = HandOffFailure(handOff)) {
        return ReportError(reason);
    }
    // The keeper has its display connection and the password: from here on it only serves.
    PrepareDetach();
    if (const char* reason = ConfineKeeper()) {
        return ReportError(reason);
    }
    return std::nullopt;
}

}  // namespace quirlomat::keeper
