#include "secret/hardening.h"

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quirlomat {

void HardenProcess() noexcept {
    const rlimit noCore{0, 0};
    (void)setrlimit(RLIMIT_CORE, &noCore);
    // gcore, like the kernel, leaves out what coredump_filter excludes; 0 excludes every
    // private and shared mapping, anonymous or written to. Not dumpable is not enough: it
    // stops neither root nor a debugger with CAP_SYS_PTRACE. Written first: a process that
    // is not dumpable may no longer write its own /proc files.
    const int filter = open("/proc/self/coredump_filter", O_WRONLY | O_CLOEXEC);
    if (filter >= 0) {
        (void)!write(filter, "0\n", 2);
        (void)close(filter);
    }
#if !defined(QUIRLOMAT_SANITIZED)
    // LeakSanitizer inspects the process through ptrace at exit, which a non-dumpable process
    // forbids; sanitizer builds keep their own core-dump setting (off) instead.
    (void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
    (void)std::signal(SIGPIPE, SIG_IGN);
}

void LockAllMemory() noexcept {
#if defined(MCL_ONFAULT) && !defined(QUIRLOMAT_SANITIZED)
    // MCL_ONFAULT locks pages as they are touched instead of faulting in every mapped page at
    // once, which would make the keeper as large as all of its libraries. The sanitizers
    // reserve terabytes of shadow memory, which no lock limit allows.
    (void)mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT);
#endif
}

}  // namespace quirlomat
