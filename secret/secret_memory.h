#pragma once

#include <cstddef>

namespace quirlomat {

// Memory for a password or the key it came from: pages of its own, locked into RAM where the
// system permits it (so it is never swapped out), excluded from core dumps, and wiped before
// they are given back.
//
// Written on the kernel's calls (one each) rather than on libsodium's guarded allocation:
// libsodium brings its whole initialisation along, a quarter of a MiB of resident memory in
// a keeper that is otherwise barely larger than xclip.
//
// Neither function throws, so that the keepers, built without exceptions, share them with
// the program. bytes must be the size that was allocated.
void* AllocateSecret(std::size_t bytes) noexcept;  // nullptr when out of memory
void ReleaseSecret(void* memory, std::size_t bytes) noexcept;

namespace test_hooks {
// Called by ReleaseSecret with the memory it releases, after the wipe and before the memory
// goes back to the system; null (the default) for none. Only tests set it.
using ReleaseObserver = void (*)(const void* memory, std::size_t bytes);
void ObserveSecretReleases(ReleaseObserver observer) noexcept;
}  // namespace test_hooks

}  // namespace quirlomat
