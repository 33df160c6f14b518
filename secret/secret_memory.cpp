#include "secret/secret_memory.h"

#include <atomic>

#include <sodium.h>

namespace quirlomat {

namespace {

std::atomic<test_hooks::ReleaseObserver> releaseObserver{nullptr};

// sodium_malloc needs the page size and the canary that sodium_init sets up.
bool SodiumReady() noexcept {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

void* AllocateSecret(std::size_t bytes) noexcept {
    if (!SodiumReady()) {
        return nullptr;
    }
    return sodium_allocarray(bytes, 1);
}

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    // sodium_free wipes too, but it unmaps the pages in the same call; wiping first makes the
    // state in which the memory is given up visible to the observer, for one pass over a
    // password's few bytes.
    sodium_memzero(memory, bytes);
    if (const test_hooks::ReleaseObserver observer = releaseObserver.load()) {
        observer(memory, bytes);
    }
    sodium_free(memory);
}

namespace test_hooks {

void ObserveSecretReleases(ReleaseObserver observer) noexcept {
    releaseObserver.store(observer);
}

}  // namespace test_hooks

}  // namespace quirlomat
