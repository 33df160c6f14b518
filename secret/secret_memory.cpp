#include "secret/secret_memory.h"

#include <atomic>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>

#include <sodium/utils.h>
#endif

namespace quirlomat {

namespace {

std::atomic<test_hooks::ReleaseObserver> releaseObserver{nullptr};

// Whole pages of their own, so that locking, unlocking and excluding one secret from core
// dumps never concerns another allocation's memory. Asked each time rather than kept in a
// function's static, whose guard would bring the C++ library's exception support into the
// keepers.
std::size_t PageRounded(std::size_t bytes) {
#if defined(_WIN32)
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
#else
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
    return bytes == 0 ? page : (bytes + page - 1) / page * page;
}

// Released blocks kept, wiped but still locked and out of core dumps, for the next secret of
// the same size: making a password takes and gives back the same few blocks every time (the
// key and keystream, the password, its UTF-8 form), and mapping, locking, unlocking and
// unmapping them cost far more than the password itself. Bounded, so that a process keeps at
// most kKeptBlocks * kLargestKept bytes locked beyond what it holds.
struct KeptBlock {
    void* memory;
    std::size_t size;
};
constexpr std::size_t kKeptBlocks = 4;
constexpr std::size_t kLargestKept = std::size_t{128} * 1024;  // a password of 32767 characters
KeptBlock kept[kKeptBlocks];
// A spin lock rather than a mutex: nothing here may throw, and the keepers carry no C++
// library beyond the header-only atomics.
std::atomic_flag keptLock = ATOMIC_FLAG_INIT;

class KeptGuard {
public:
    KeptGuard() noexcept {
        while (keptLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~KeptGuard() { keptLock.clear(std::memory_order_release); }
    KeptGuard(const KeptGuard&) = delete;
    KeptGuard& operator=(const KeptGuard&) = delete;
};

void* TakeKept(std::size_t size) noexcept {
    const KeptGuard guard;
    for (KeptBlock& block : kept) {
        if (block.memory != nullptr && block.size == size) {
            void* memory = block.memory;
            block = {nullptr, 0};
            return memory;
        }
    }
    return nullptr;
}

bool Keep(void* memory, std::size_t size) noexcept {
    if (size > kLargestKept) {
        return false;
    }
    const KeptGuard guard;
    for (KeptBlock& block : kept) {
        if (block.memory == nullptr) {
            block = {memory, size};
            return true;
        }
    }
    return false;
}

}  // namespace

void* AllocateSecret(std::size_t bytes) noexcept {
    const std::size_t size = PageRounded(bytes);
    if (size < bytes) {
        return nullptr;
    }
    // Wiped when it was kept, so it starts as zeros like fresh pages.
    if (void* memory = TakeKept(size)) {
        return memory;
    }
#if defined(_WIN32)
    void* memory = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (memory == nullptr) {
        return nullptr;
    }
    // Beyond the process's minimum working set the lock is refused; the memory still serves
    // and is still wiped. Windows Error Reporting leaves the block out of its crash dumps
    // where the system knows the call (Windows 10 on; looked up, so older systems and Wine
    // still start).
    (void)VirtualLock(memory, size);
    using ExcludeFromDumps = HRESULT(WINAPI*)(PVOID, DWORD);
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC found = GetProcAddress(kernel, "WerRegisterExcludedMemoryBlock")) {
            auto* exclude = reinterpret_cast<ExcludeFromDumps>(reinterpret_cast<void (*)()>(found));
            (void)exclude(memory, static_cast<DWORD>(size));
        }
    }
#else
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
    // sodium_mlock marks the pages for no core dump before it locks them. Beyond
    // RLIMIT_MEMLOCK the lock is refused; the memory still serves, out of core dumps, and is
    // still wiped.
    (void)sodium_mlock(memory, size);
#endif
    return memory;
}

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    const std::size_t size = PageRounded(bytes);
#if defined(_WIN32)
    // The system's wipe that the compiler may not drop as a dead store.
    SecureZeroMemory(memory, size);
#else
    // libsodium's wipe, a store the compiler may not drop as dead.
    sodium_memzero(memory, size);
#endif
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
    if (Keep(memory, size)) {
        return;
    }
#if defined(_WIN32)
    using IncludeInDumps = HRESULT(WINAPI*)(PVOID);
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC found = GetProcAddress(kernel, "WerUnregisterExcludedMemoryBlock")) {
            auto* include = reinterpret_cast<IncludeInDumps>(reinterpret_cast<void (*)()>(found));
            (void)include(memory);
        }
    }
    (void)VirtualUnlock(memory, size);
    (void)VirtualFree(memory, 0, MEM_RELEASE);
#else
    // sodium_munlock wipes once more before it unlocks; the pages are zeros already.
    (void)sodium_munlock(memory, size);
    (void)munmap(memory, size);
#endif
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
