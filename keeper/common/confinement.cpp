#include "keeper/common/confinement.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <initializer_list>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <malloc.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#if defined(QUIRLOMAT_SANITIZED)
#include <sanitizer/lsan_interface.h>
#endif

namespace quirlomat::keeper {

namespace {

// The ruleset as the kernel reads it, whose size tells the kernel which fields the caller
// knows. Debian 12's linux/landlock.h (Linux 6.1) declares only the first field, so the
// layout, fixed by the kernel's ABI, is spelt out here.
struct LandlockRuleset {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

// Every file-system right up to Landlock's ABI 2 is in Debian 12's header; the later ones
// (ABI 3: truncate, ABI 5: device ioctl), the network rights (ABI 4) and the scopes (ABI 6)
// are not, and their values are the kernel's.
constexpr std::uint64_t kAccessFsAbi1 =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
    LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
    LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
    LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
    LANDLOCK_ACCESS_FS_MAKE_SYM;
constexpr std::uint64_t kAccessFsRefer = LANDLOCK_ACCESS_FS_REFER;
constexpr std::uint64_t kAccessFsTruncate = std::uint64_t{1} << 14;
constexpr std::uint64_t kAccessFsIoctlDev = std::uint64_t{1} << 15;
constexpr std::uint64_t kAccessNetTcp = (std::uint64_t{1} << 0) | (std::uint64_t{1} << 1);
constexpr std::uint64_t kScopeAbstractUnixSocketAndSignal =
    (std::uint64_t{1} << 0) | (std::uint64_t{1} << 1);

// What the kernel is asked to handle, by the ABI it offers, and how much of the ruleset it
// reads: a larger size than it knows is refused.
std::size_t RulesetForAbi(long abi, LandlockRuleset* ruleset) {
    ruleset->handledAccessFs = kAccessFsAbi1;
    if (abi >= 2) {
        ruleset->handledAccessFs |= kAccessFsRefer;
    }
    if (abi >= 3) {
        ruleset->handledAccessFs |= kAccessFsTruncate;
    }
    if (abi >= 5) {
        ruleset->handledAccessFs |= kAccessFsIoctlDev;
    }
    if (abi < 4) {
        return sizeof ruleset->handledAccessFs;
    }
    ruleset->handledAccessNet = kAccessNetTcp;
    if (abi < 6) {
        return sizeof ruleset->handledAccessFs + sizeof ruleset->handledAccessNet;
    }
    ruleset->scoped = kScopeAbstractUnixSocketAndSignal;
    return sizeof *ruleset;
}

bool ForbidNewPrivileges() {
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

// The calls that only a keeper under someone else's control makes.
constexpr int kKillingCalls[] = {
    SCMP_SYS(execve),           SCMP_SYS(execveat),          SCMP_SYS(ptrace),
    SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev),
};

// The calls of the serving loops, whatever their arguments: XCB and libwayland on their
// sockets (descriptors received with SCM_RIGHTS included, and closed; xcb_disconnect shuts
// its socket down), the text written to readers, /dev/null put on the standard three when
// detaching, the memory of malloc and of libsodium's guarded, locked and wiped allocations,
// the monotonic clock where the vDSO does not answer, signal masks and handlers (abort()
// sets them), and the end of the process.
constexpr int kAllowedCalls[] = {
    SCMP_SYS(read),
    SCMP_SYS(readv),
    SCMP_SYS(recvmsg),
    SCMP_SYS(recvfrom),
    SCMP_SYS(write),
    SCMP_SYS(writev),
    SCMP_SYS(sendmsg),
    SCMP_SYS(shutdown),
    SCMP_SYS(poll),
    SCMP_SYS(ppoll),
    SCMP_SYS(close),
    SCMP_SYS(dup2),
    SCMP_SYS(dup3),
    SCMP_SYS(brk),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(madvise),
    SCMP_SYS(mlock),
    SCMP_SYS(mlock2),
    SCMP_SYS(munlock),
    SCMP_SYS(futex),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(gettimeofday),
    SCMP_SYS(getpid),
    SCMP_SYS(gettid),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(restart_syscall),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
};

// fcntl for the state of a descriptor (blocking or not, close-on-exec) and the size of a
// pipe; nothing that duplicates, locks or leases.
constexpr int kAllowedFcntlCommands[] = {
    F_GETFL, F_SETFL, F_GETFD, F_SETFD, F_GETPIPE_SZ, F_SETPIPE_SZ,
};

// seccomp.h's SCMP_A0 to SCMP_A5 are C compound literals; the same comparison as C++.
constexpr scmp_arg_cmp Argument(unsigned int index, scmp_compare compare, scmp_datum_t a,
                                scmp_datum_t b = 0) {
    return scmp_arg_cmp{index, compare, a, b};
}

#if defined(QUIRLOMAT_SANITIZED)
// AddressSanitizer asks for the signal stack before every call that does not return (_exit,
// abort, longjmp), to unpoison it.
constexpr int kSanitizerCalls[] = {SCMP_SYS(sigaltstack)};
#endif

// Far more than the filter needs (about 150 instructions); BPF allows 4096.
constexpr std::size_t kMostInstructions = 1024;

// The filter, made as the keeper starts and loaded once it holds the password.
sock_filter preparedFilter[kMostInstructions];
std::size_t preparedLength = 0;

// libseccomp, needed only while the filter is made: loaded for it and unloaded after.
class Seccomp {
public:
    Seccomp() : library_(dlopen("libseccomp.so.2", RTLD_NOW | RTLD_LOCAL)) {
        loaded_ = library_ != nullptr && Find(&init, "seccomp_init") &&
                  Find(&release, "seccomp_release") && Find(&attrSet, "seccomp_attr_set") &&
                  Find(&ruleAdd, "seccomp_rule_add") && Find(&exportBpf, "seccomp_export_bpf");
    }
    ~Seccomp() {
        if (library_ != nullptr) {
            (void)dlclose(library_);
        }
    }
    Seccomp(const Seccomp&) = delete;
    Seccomp& operator=(const Seccomp&) = delete;

    bool loaded() const { return loaded_; }

    decltype(&seccomp_init) init = nullptr;
    decltype(&seccomp_release) release = nullptr;
    decltype(&seccomp_attr_set) attrSet = nullptr;
    decltype(&seccomp_rule_add) ruleAdd = nullptr;
    decltype(&seccomp_export_bpf) exportBpf = nullptr;

private:
    template <typename Function>
    bool Find(Function* function, const char* name) {
        *function = reinterpret_cast<Function>(dlsym(library_, name));
        return *function != nullptr;
    }

    void* library_;
    bool loaded_ = false;
};

class Filter {
public:
    explicit Filter(const Seccomp& seccomp)
        : seccomp_(seccomp),
          context_(seccomp.loaded() ? seccomp.init(SCMP_ACT_ERRNO(EPERM)) : nullptr) {}
    ~Filter() {
        if (context_ != nullptr) {
            seccomp_.release(context_);
        }
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    bool Build() {
        if (context_ == nullptr) {
            return false;
        }
        // A call through another architecture's entry (int 0x80) would pass by every rule.
        bool built =
            seccomp_.attrSet(context_, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) == 0;
        for (const int call : kKillingCalls) {
            built = built && Add(SCMP_ACT_KILL_PROCESS, call);
        }
        for (const int call : kAllowedCalls) {
            built = built && Add(SCMP_ACT_ALLOW, call);
        }
#if defined(QUIRLOMAT_SANITIZED)
        for (const int call : kSanitizerCalls) {
            built = built && Add(SCMP_ACT_ALLOW, call);
        }
#endif
        for (const int command : kAllowedFcntlCommands) {
            built = built && Add(SCMP_ACT_ALLOW, SCMP_SYS(fcntl),
                                 Argument(1, SCMP_CMP_EQ, static_cast<scmp_datum_t>(command)));
        }
        // No memory that is both written and run: what a subverted keeper would bring in
        // could not be made executable.
        for (const int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
            built =
                built && Add(SCMP_ACT_ALLOW, call, Argument(2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
        }
        // send(fd, buf, n, MSG_DONTWAIT | MSG_NOSIGNAL) on a descriptor a reader handed over,
        // and nothing else of sendto: no address of its own choosing.
        built = built && Add(SCMP_ACT_ALLOW, SCMP_SYS(sendto),
                             Argument(3, SCMP_CMP_EQ, MSG_DONTWAIT | MSG_NOSIGNAL),
                             Argument(4, SCMP_CMP_EQ, 0));
        // A timer that interrupts a write with SIGALRM, to a handler set before.
        built = built &&
                Add(SCMP_ACT_ALLOW, SCMP_SYS(setitimer), Argument(0, SCMP_CMP_EQ, ITIMER_REAL));
        // Signals to the keeper itself only (abort() raises SIGABRT). It is single-threaded
        // and forks no more, so its pid is its process and its one thread.
        const auto self = static_cast<scmp_datum_t>(getpid());
        built = built && Add(SCMP_ACT_ALLOW, SCMP_SYS(kill), Argument(0, SCMP_CMP_EQ, self));
        built = built && Add(SCMP_ACT_ALLOW, SCMP_SYS(tgkill), Argument(0, SCMP_CMP_EQ, self));
        built = built && Add(SCMP_ACT_ALLOW, SCMP_SYS(tkill), Argument(0, SCMP_CMP_EQ, self));
        return built;
    }

    // The program as the kernel takes it, into program (room for kMostInstructions); its
    // length, 0 when it does not fit or cannot be had.
    std::size_t Export(sock_filter* program) {
        const int memory = memfd_create("filter", MFD_CLOEXEC);
        if (memory < 0) {
            return 0;
        }
        std::size_t length = 0;
        if (seccomp_.exportBpf(context_, memory) == 0) {
            const off_t size = lseek(memory, 0, SEEK_END);
            const auto most = static_cast<off_t>(sizeof(sock_filter) * kMostInstructions);
            if (size > 0 && size <= most && size % static_cast<off_t>(sizeof(sock_filter)) == 0 &&
                pread(memory, program, static_cast<std::size_t>(size), 0) == size) {
                length = static_cast<std::size_t>(size) / sizeof(sock_filter);
            }
        }
        (void)close(memory);
        return length;
    }

private:
    template <typename... Conditions>
    bool Add(std::uint32_t action, int call, Conditions... conditions) {
        return seccomp_.ruleAdd(context_, action, call,
                                static_cast<unsigned int>(sizeof...(conditions)),
                                conditions...) == 0;
    }

    const Seccomp& seccomp_;
    scmp_filter_ctx context_;
};

}  // namespace

FileSystemLock ForbidFileSystem() {
    const long abi =
        syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        return FileSystemLock::kNotOffered;
    }
    LandlockRuleset ruleset;
    const std::size_t size = RulesetForAbi(abi, &ruleset);
    const long descriptor = syscall(SYS_landlock_create_ruleset, &ruleset, size, 0);
    if (descriptor < 0) {
        return FileSystemLock::kFailed;
    }
    // No rule is added: no path is granted anything.
    const bool locked =
        ForbidNewPrivileges() && syscall(SYS_landlock_restrict_self, descriptor, 0) == 0;
    (void)close(static_cast<int>(descriptor));
    return locked ? FileSystemLock::kLocked : FileSystemLock::kFailed;
}

bool PrepareConfinement() {
    {
        const Seccomp seccomp;
        Filter filter(seccomp);
        preparedLength = filter.Build() ? filter.Export(preparedFilter) : 0;
    }
    // What libseccomp allocated, freed by now, goes back to the system while no page of the
    // keeper is locked yet.
    (void)malloc_trim(0);
    return preparedLength > 0;
}

const char* ConfineKeeper() {
#if defined(QUIRLOMAT_SANITIZED)
    // LeakSanitizer's check at exit stops the process with ptrace and reads /proc, which
    // the filter forbids; it checks now instead, and not again. The rest of the sanitizers'
    // runtime serves with the keeper's calls and sigaltstack; only an error report goes
    // without symbols (no /proc, no symbolizer), and the keeper still ends on it.
    __lsan_do_leak_check();
#endif
    if (preparedLength == 0 || !ForbidNewPrivileges()) {
        return "Abschottung nicht möglich";
    }
    switch (ForbidFileSystem()) {
        case FileSystemLock::kLocked:
            break;
        case FileSystemLock::kNotOffered:
            std::fprintf(stderr,
                         "%s: the kernel offers no Landlock; only the seccomp filter keeps "
                         "this keeper from the file system\n",
                         program_invocation_short_name);
            break;
        case FileSystemLock::kFailed:
            return "Abschottung nicht möglich";
    }
    sock_fprog program = {};
    program.len = static_cast<unsigned short>(preparedLength);
    program.filter = preparedFilter;
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) {
        return "Abschottung nicht möglich";
    }
    return nullptr;
}

}  // namespace quirlomat::keeper
