#include "secret/secret_memory.h"

#include <atomic>
#include <sys/mman.h>
#include <unistd.h>

#include <sodium/utils.h>

namespace quirlomat {

namespace {

std::atomic<test_hooks::ReleaseObserver> releaseObserver{nullptr};

// Whole pages of their own, so that locking, unlocking and excluding one secret from core
// dumps never concerns another allocation's memory. Asked each time rather than kept in a
// function's static, whose guard would bring the C++ library's exception support into the
// keepers.
std::size_t PageRounded(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return bytes == 0 ? page : (bytes + page - 1) / page * page;
}

}  // namespace

void* AllocateSecret(std::size_t bytes) noexcept {
    const std::size_t size = PageRounded(bytes);
    if (size < bytes) {
        return nullptr;
    }
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

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    const std::size_t size = PageRounded(bytes);
    // sodium_munlock wipes the pages (a store the compiler may not drop as dead) before it
    // unlocks them, and wipes them even where the lock had been refused.
    (void)sodium_munlock(memory, size);
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
    (void)munmap(memory, size);
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
