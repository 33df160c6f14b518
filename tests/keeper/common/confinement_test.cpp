#include "keeper/common/confinement.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <ostream>
#include <string>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quirlomat::keeper {
namespace {

// A child's exit status when confining itself failed; every other status is the errno of
// the call it tried (0: it succeeded).
constexpr int kNotConfined = 100;

// What the child can reach of the world before it confines itself: another process (a
// sleeping one of the test's), a pipe and a connected socket pair, as a keeper has its
// display connection and a reader's descriptor.
struct World {
    pid_t other = -1;
    int pipe[2] = {-1, -1};
    int sockets[2] = {-1, -1};
};

int ErrnoOf(long result) {
    return result < 0 ? errno : 0;
}

using Attempt = int (*)(const World&);

struct Call {
    const char* name;
    Attempt attempt;
};

void PrintTo(const Call& call, std::ostream* out) {
    *out << call.name;
}

enum class Refused : std::uint8_t { kFailsWithEperm, kKillsTheKeeper };

struct ForbiddenCall {
    Call call;
    Refused refused;
};

void PrintTo(const ForbiddenCall& forbidden, std::ostream* out) {
    *out << forbidden.call.name;
}

// Runs attempt in a child that has confined itself with confine (0, or the child's exit
// status when it cannot); the child's wait status.
template <typename Confine>
int InConfinedChild(Confine confine, Attempt attempt) {
    World world;
    world.other = fork();
    if (world.other == 0) {
        for (;;) {
            pause();
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        if (pipe2(world.pipe, O_CLOEXEC) != 0 ||
            socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, world.sockets) != 0) {
            _exit(kNotConfined);
        }
        if (const int failed = confine()) {
            _exit(failed);
        }
        _exit(attempt(world));
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    (void)kill(world.other, SIGKILL);
    (void)waitpid(world.other, nullptr, 0);
    return status;
}

int ConfineAsAKeeper() {
    return PrepareConfinement() && ConfineKeeper() == nullptr ? 0 : kNotConfined;
}

class ForbiddenCallTest : public ::testing::TestWithParam<ForbiddenCall> {};

TEST_P(ForbiddenCallTest, IsRefusedToAConfinedKeeper) {
    const ForbiddenCall& forbidden = GetParam();
    const int status = InConfinedChild(ConfineAsAKeeper, forbidden.call.attempt);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == kNotConfined);
    if (forbidden.refused == Refused::kKillsTheKeeper) {
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), SIGSYS);
    } else {
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), EPERM);
    }
}

const ForbiddenCall kForbiddenCalls[] = {
    {{"OpenAFile", [](const World&) { return ErrnoOf(open("/etc/passwd", O_RDONLY)); }},
     Refused::kFailsWithEperm},
    {{"CreateAFile",
      [](const World&) { return ErrnoOf(open("/tmp", O_TMPFILE | O_WRONLY, S_IRUSR | S_IWUSR)); }},
     Refused::kFailsWithEperm},
    {{"CreateASocket", [](const World&) { return ErrnoOf(socket(AF_INET, SOCK_STREAM, 0)); }},
     Refused::kFailsWithEperm},
    {{"CreateASocketPair",
      [](const World&) {
          int ends[2];
          return ErrnoOf(socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
      }},
     Refused::kFailsWithEperm},
    {{"SendToAnAddress",
      [](const World& world) {
          const sockaddr_un address = {AF_UNIX, "/tmp/.X11-unix/X0"};
          return ErrnoOf(sendto(world.sockets[0], "x", 1, MSG_DONTWAIT | MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address));
      }},
     Refused::kFailsWithEperm},
    {{"StartAProcess", [](const World&) { return ErrnoOf(fork()); }}, Refused::kFailsWithEperm},
    {{"SignalAnotherProcess", [](const World& world) { return ErrnoOf(kill(world.other, 0)); }},
     Refused::kFailsWithEperm},
    {{"SignalEveryProcess", [](const World&) { return ErrnoOf(kill(-1, 0)); }},
     Refused::kFailsWithEperm},
    {{"MakeMemoryExecutable",
      [](const World&) {
          return ErrnoOf(reinterpret_cast<long>(
              mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)));
      }},
     Refused::kFailsWithEperm},
    {{"ExecuteAProgram",
      [](const World&) {
          char* const argv[] = {nullptr};
          return ErrnoOf(execve("/bin/true", argv, argv));
      }},
     Refused::kKillsTheKeeper},
    {{"TraceAnotherProcess",
      [](const World& world) { return ErrnoOf(ptrace(PTRACE_ATTACH, world.other, 0, 0)); }},
     Refused::kKillsTheKeeper},
    {{"ReadAnotherProcessesMemory",
      [](const World& world) {
          char byte = 0;
          iovec local = {&byte, 1};
          iovec remote = {&byte, 1};
          return ErrnoOf(process_vm_readv(world.other, &local, 1, &remote, 1, 0));
      }},
     Refused::kKillsTheKeeper},
};

INSTANTIATE_TEST_SUITE_P(Calls, ForbiddenCallTest, ::testing::ValuesIn(kForbiddenCalls),
                         [](const auto& test) { return std::string(test.param.call.name); });

// What the serving loops do must still work behind the filter, or the keeper would serve
// nothing (and the forbidden calls above would prove nothing).
class AllowedCallTest : public ::testing::TestWithParam<Call> {};

TEST_P(AllowedCallTest, StillWorksForAConfinedKeeper) {
    const int status = InConfinedChild(ConfineAsAKeeper, GetParam().attempt);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

void NoOp(int /*signal*/) {}

const Call kAllowedCalls[] = {
    {"WriteAndReadAPipe",
     [](const World& world) {
         char byte = 0;
         if (write(world.pipe[1], "x", 1) != 1) {
             return errno;
         }
         return ErrnoOf(read(world.pipe[0], &byte, 1));
     }},
    {"SendWithoutBlockingOrSigpipe",
     [](const World& world) {
         return ErrnoOf(send(world.sockets[0], "x", 1, MSG_DONTWAIT | MSG_NOSIGNAL));
     }},
    {"SetAPipesFlagsAndSize",
     [](const World& world) {
         const int flags = fcntl(world.pipe[1], F_GETFL);
         if (flags < 0 || fcntl(world.pipe[1], F_SETFL, flags | O_NONBLOCK) != 0) {
             return errno;
         }
         return ErrnoOf(fcntl(world.pipe[1], F_SETPIPE_SZ, 1 << 20));
     }},
    {"AllocateAndFreeMemory",
     [](const World&) {
         void* large = std::malloc(std::size_t{8} << 20);
         if (large == nullptr) {
             return ENOMEM;
         }
         static_cast<volatile char*>(large)[0] = 1;
         std::free(large);
         return 0;
     }},
    {"InterruptAWriteWithATimer",
     [](const World& world) {
         struct sigaction action = {};
         action.sa_handler = NoOp;
         // Set before confinement in a keeper; rt_sigaction stays allowed for abort().
         if (sigaction(SIGALRM, &action, nullptr) != 0 || fcntl(world.pipe[1], F_SETFL, 0) != 0) {
             return errno;
         }
         const itimerval once = {{0, 0}, {0, 50000}};
         if (setitimer(ITIMER_REAL, &once, nullptr) != 0) {
             return errno;
         }
         // Fills the pipe until the timer interrupts the blocked write.
         const std::string block(4096, 'x');
         while (write(world.pipe[1], block.data(), block.size()) > 0) {
         }
         return errno == EINTR ? 0 : errno;
     }},
    {"CloseADescriptor", [](const World& world) { return ErrnoOf(close(world.sockets[1])); }},
};

INSTANTIATE_TEST_SUITE_P(Calls, AllowedCallTest, ::testing::ValuesIn(kAllowedCalls),
                         [](const auto& test) { return std::string(test.param.name); });

// Landlock on its own: paths are closed even where seccomp would let a call through, while
// the descriptors the process holds still serve.
constexpr int kLandlockNotOffered = 101;
std::string landlockTarget;

int LockTheFileSystem() {
    switch (ForbidFileSystem()) {
        case FileSystemLock::kLocked:
            return 0;
        case FileSystemLock::kNotOffered:
            return kLandlockNotOffered;
        case FileSystemLock::kFailed:
            break;
    }
    return kNotConfined;
}

TEST(ForbidFileSystemTest, ClosesEveryPathButKeepsOpenDescriptors) {
    char path[] = "/tmp/confinement-test-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0);
    close(file);
    landlockTarget = path;

    const int status = InConfinedChild(LockTheFileSystem, [](const World& world) {
        const int opened = open(landlockTarget.c_str(), O_RDONLY | O_CLOEXEC);
        if (opened >= 0) {
            return 0;
        }
        const int refused = errno;
        char byte = 0;
        if (write(world.pipe[1], "x", 1) != 1 || read(world.pipe[0], &byte, 1) != 1) {
            return 1;
        }
        return refused;
    });
    unlink(path);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == kLandlockNotOffered) {
        GTEST_SKIP() << "the kernel offers no Landlock";
    }
    EXPECT_EQ(WEXITSTATUS(status), EACCES);
}

}  // namespace
}  // namespace quirlomat::keeper
