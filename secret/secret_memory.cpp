#include "secret/secret_memory.h"

#include <atomic>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

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
    // Beyond RLIMIT_MEMLOCK the lock is refused; the memory still serves, out of core dumps,
    // and is still wiped.
    (void)madvise(memory, size, MADV_DONTDUMP);
    (void)mlock(memory, size);
    return memory;
}

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    const std::size_t size = PageRounded(bytes);
    // explicit_bzero is the C library's wipe that the compiler may not drop as a dead store.
    explicit_bzero(memory, size);
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
    (void)munlock(memory, size);
    (void)munmap(memory, size);
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
