#include "secret/hardening.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
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

namespace {

// Lets go of the pages of program code that are mapped in now: what starting up ran (the
// dynamic loader's work, making the seccomp filter) need not stay resident, let alone locked,
// for the rest of a keeper's life; what serving runs comes back from the page cache as it is
// touched. Only code mappings of files: never written, so nothing is lost, whereas letting go
// of a written private page would throw its contents away.
void LetGoOfStartUpCode() noexcept {
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0) {
        return;
    }
    // The whole listing first: letting go changes nothing in it, but reading it in pieces
    // while changing the mappings' pages is needless care.
    static char listing[64 * 1024];
    std::size_t size = 0;
    for (;;) {
        const ssize_t got = read(maps, listing + size, sizeof listing - 1 - size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    (void)close(maps);
    listing[size] = '\0';
    // Each line: "start-end perms offset dev inode [path]".
    for (char* line = listing; *line != '\0';) {
        char* end = line;
        while (*end != '\0' && *end != '\n') {
            ++end;
        }
        const bool last = *end == '\0';
        *end = '\0';
        char* rest = nullptr;
        const unsigned long start = std::strtoul(line, &rest, 16);
        const unsigned long stop = *rest == '-' ? std::strtoul(rest + 1, &rest, 16) : 0;
        const char* perms = rest + 1;
        const char* path = line;
        for (const char* c = line; *c != '\0'; ++c) {
            if (*c == '/' && (c == line || c[-1] == ' ')) {
                path = c;
                break;
            }
        }
        if (stop > start && *rest == ' ' && perms[0] == 'r' && perms[1] == '-' && perms[2] == 'x' &&
            perms[3] == 'p' && *path == '/') {
            // The listing names addresses as numbers; no pointer could be had otherwise.
            void* const code = reinterpret_cast<void*>(start);  // NOLINT(performance-no-int-to-ptr)
            (void)madvise(code, stop - start, MADV_DONTNEED);
        }
        line = last ? end : end + 1;
    }
}

}  // namespace

void LockAllMemory() noexcept {
    LetGoOfStartUpCode();
#if defined(MCL_ONFAULT) && !defined(QUIRLOMAT_SANITIZED)
    // MCL_ONFAULT locks pages as they are touched instead of faulting in every mapped page at
    // once, which would make the keeper as large as all of its libraries. The sanitizers
    // reserve terabytes of shadow memory, which no lock limit allows.
    (void)mlockall(MCL_CURRENT | MCL_FUTURE | MCL_ONFAULT);
#endif
}

}  // namespace quirlomat
