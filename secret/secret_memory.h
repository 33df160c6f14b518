#pragma once

#include <cstddef>

namespace quirlomat {

// Memory for a password or the key it came from: pages of its own, locked into RAM where the
// system permits it (so it is never swapped out), excluded from core dumps, and wiped the
// moment they are given back. A few wiped blocks of up to 128 KiB stay mapped and locked for
// the next secret of the same size, so that a password made after another costs no system
// calls for its memory.
//
// On Linux the pages come straight from the kernel; locking, the exclusion from core dumps
// and the wipe are libsodium's (sodium_mlock, sodium_munlock). On Windows they are the
// system's calls, with the exclusion from Windows Error Reporting's dumps, which libsodium
// does not make. Its guarded allocation
// (sodium_malloc) is not used: three more pages per secret and the library's initialisation
// cost a keeper that is otherwise barely larger than xclip more memory than its own code.
//
// Neither function throws, so that the keepers, built without exceptions, share them with
// the program; both may be called from any thread. bytes must be the size that was
// allocated. Memory from AllocateSecret starts as zeros, whether new or kept.
void* AllocateSecret(std::size_t bytes) noexcept;  // nullptr when out of memory
void ReleaseSecret(void* memory, std::size_t bytes) noexcept;

namespace test_hooks {
// Called by ReleaseSecret with the memory it releases, after the wipe and before the memory
// is kept or goes back to the system; null (the default) for none. Only tests set it.
using ReleaseObserver = void (*)(const void* memory, std::size_t bytes);
void ObserveSecretReleases(ReleaseObserver observer) noexcept;
}  // namespace test_hooks

}  // namespace quirlomat
