#include "keeper/common/termination_signals.h"

#include <csignal>
#include <initializer_list>
#include <sys/signalfd.h>

namespace quirlomat::keeper {

int TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&signals, number);
    }
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return -1;
    }
    return signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

}  // namespace quirlomat::keeper
