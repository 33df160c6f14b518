#include "secret/hardening.h"

#include <csignal>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/process_probe.h"

namespace quirlomat {
namespace {

using testing::ProcFile;
using testing::StatusKiB;

// Runs check in a child process, so that the hardening stays out of the test's own process;
// check's result is the child's exit status.
int InChild(int (*check)()) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(check());
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HardenProcess, LeavesNoCoreNoWayInAndNoDeathByPipe) {
    const int failures = InChild([] {
        HardenProcess();
        rlimit core{};
        struct sigaction pipe = {};
        int failed = 0;
        if (getrlimit(RLIMIT_CORE, &core) != 0 || core.rlim_cur != 0 || core.rlim_max != 0) {
            failed |= 1;
        }
#if !defined(QUIRLOMAT_SANITIZED)
        if (prctl(PR_GET_DUMPABLE) != 0) {
            failed |= 2;
        }
#endif
        if (sigaction(SIGPIPE, nullptr, &pipe) != 0 || pipe.sa_handler != SIG_IGN) {
            failed |= 4;
        }
        if (ProcFile(0, "coredump_filter") != "00000000\n") {
            failed |= 8;
        }
        return failed;
    });
    EXPECT_EQ(failures & 1, 0) << "core files are still possible";
    EXPECT_EQ(failures & 2, 0) << "still dumpable";
    EXPECT_EQ(failures & 4, 0) << "SIGPIPE still ends the process";
    EXPECT_EQ(failures & 8, 0) << "anonymous memory would still go into a core dump";
    EXPECT_EQ(failures & ~15, 0);
}

#if !defined(QUIRLOMAT_SANITIZED)
TEST(LockAllMemory, LocksWhatIsMappedLaterToo) {
    const int failures = InChild([] {
        LockAllMemory();
        int failed = 0;
        // Memory mapped from now on is locked too: without the future flag, a fresh mapping
        // would not count.
        const long before = StatusKiB(0, "VmLck").value_or(0);
        void* fresh =
            mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        const long after = StatusKiB(0, "VmLck").value_or(0);
        if (fresh == MAP_FAILED || after - before < 1024) {
            failed |= 1;
        }
        return failed;
    });
    EXPECT_EQ(failures, 0) << "memory mapped later is not locked";
}
#endif

}  // namespace
}  // namespace quirlomat
