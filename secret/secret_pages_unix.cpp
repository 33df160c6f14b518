#include <sys/mman.h>
#include <unistd.h>

#include <sodium/utils.h>

#include "secret/secret_pages.h"

namespace quirlomat {

std::size_t PageSize() noexcept {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void* MapSecretPages(std::size_t size) noexcept {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
    // sodium_mlock marks the pages for no core dump before it locks them. Beyond
    // RLIMIT_MEMLOCK the lock is refused; the memory still serves, out of core dumps, and is
    // still wiped.
    (void)sodium_mlock(memory, size);
    return memory;
}

void WipePages(void* memory, std::size_t size) noexcept {
    // libsodium's wipe, a store the compiler may not drop as dead.
    sodium_memzero(memory, size);
}

void UnmapSecretPages(void* memory, std::size_t size) noexcept {
    // sodium_munlock wipes once more before it unlocks; the pages are zeros already.
    (void)sodium_munlock(memory, size);
    (void)munmap(memory, size);
}

}  // namespace quirlomat
