#pragma once

#include <cstddef>

namespace quirlomat {

// Memory for a password or the key it came from: pages of its own, locked into RAM where the
// system permits it (so it is never swapped out), excluded from core dumps, and wiped before
// they are given back.
//
// On Linux the pages come straight from the kernel; locking, the exclusion from core dumps
// and the wipe are libsodium's (sodium_mlock, sodium_munlock). On Windows they are the
// system's calls, with the exclusion from Windows Error Reporting's dumps, which libsodium
// does not make. Its guarded allocation
// (sodium_malloc) is not used: three more pages per secret and the library's initialisation
// cost a keeper that is otherwise barely larger than xclip more memory than its own code.
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
