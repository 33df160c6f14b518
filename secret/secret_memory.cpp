#include "secret/secret_memory.h"

#include <atomic>

#include "secret/secret_pages.h"

namespace quirlomat {

namespace {

std::atomic<test_hooks::ReleaseObserver> releaseObserver{nullptr};

// Whole pages of their own, so that locking, unlocking and excluding one secret from core
// dumps never concerns another allocation's memory. Asked each time rather than kept in a
// function's static, whose guard would bring the C++ library's exception support into the
// keepers.
std::size_t PageRounded(std::size_t bytes) {
    const std::size_t page = PageSize();
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
    return MapSecretPages(size);
}

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    const std::size_t size = PageRounded(bytes);
    WipePages(memory, size);
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, size);
    }
    if (Keep(memory, size)) {
        return;
    }
    UnmapSecretPages(memory, size);
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
