#include <windows.h>

#include "secret/secret_pages.h"

namespace quirlomat {

std::size_t PageSize() noexcept {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwPageSize;
}

void* MapSecretPages(std::size_t size) noexcept {
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
    return memory;
}

void WipePages(void* memory, std::size_t size) noexcept {
    // The system's wipe that the compiler may not drop as a dead store.
    SecureZeroMemory(memory, size);
}

void UnmapSecretPages(void* memory, std::size_t size) noexcept {
    using IncludeInDumps = HRESULT(WINAPI*)(PVOID);
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (const FARPROC found = GetProcAddress(kernel, "WerUnregisterExcludedMemoryBlock")) {
            auto* include = reinterpret_cast<IncludeInDumps>(reinterpret_cast<void (*)()>(found));
            (void)include(memory);
        }
    }
    (void)VirtualUnlock(memory, size);
    (void)VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace quirlomat
