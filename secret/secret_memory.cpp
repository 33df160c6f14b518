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

}  // namespace

void* AllocateSecret(std::size_t bytes) noexcept {
    const std::size_t size = PageRounded(bytes);
    if (size < bytes) {
        return nullptr;
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
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
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
    // sodium_munlock wipes the pages (a store the compiler may not drop as dead) before it
    // unlocks them, and wipes them even where the lock had been refused.
    (void)sodium_munlock(memory, size);
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
    (void)munmap(memory, size);
#endif
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
