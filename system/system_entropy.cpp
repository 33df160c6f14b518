#include "system/system_entropy.h"

#include <cerrno>
#include <cstdint>

#include "runtime/errors.h"

#ifdef _WIN32
// bcrypt.h builds on the types of windows.h.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <sys/random.h>
#endif

namespace quirlomat {

void SystemEntropy(void* buffer, std::size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
#ifdef _WIN32
    while (size > 0) {
        const ULONG chunk = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            Raise(ErrorNumber::kInternal, "keine Zufallsdaten vom System");
        }
        out += chunk;
        size -= chunk;
    }
#else
    // A large request may come back short (a signal, or the kernel's per-call limit of
    // 32 MiB); the loop asks again for the rest.
    while (size > 0) {
        const ssize_t got = getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            Raise(ErrorNumber::kInternal, "keine Zufallsdaten vom System");
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
#endif
}

}  // namespace quirlomat
