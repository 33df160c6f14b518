#include "keeper/common/detach.h"

#include <fcntl.h>
#include <unistd.h>

namespace quirlomat::keeper {

void Detach() {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (null >= 0) {
            (void)dup2(null, fd);
        } else {
            (void)close(fd);
        }
    }
    if (null > STDERR_FILENO) {
        (void)close(null);
    }
    if (chdir("/") != 0) {
        // The keeper serves from any directory; it merely keeps the old one busy.
    }
}

void LeaveCallersSession() {
    if (getsid(0) != getpid()) {
        (void)setsid();
    }
}

}  // namespace quirlomat::keeper
