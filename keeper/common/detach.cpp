#include "keeper/common/detach.h"

#include <fcntl.h>
#include <unistd.h>

namespace quirlomat::keeper {

namespace {

int devNull = -1;

}  // namespace

void PrepareDetach() {
    if (devNull < 0) {
        devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    }
    if (chdir("/") != 0) {
        // The keeper serves from any directory; it merely keeps the old one busy.
    }
}

void Detach() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (devNull >= 0) {
            (void)dup2(devNull, fd);
        } else {
            (void)close(fd);
        }
    }
    if (devNull > STDERR_FILENO) {
        (void)close(devNull);
    }
    devNull = -1;
}

void LeaveCallersSession() {
    if (getsid(0) != getpid()) {
        (void)setsid();
    }
}

}  // namespace quirlomat::keeper
