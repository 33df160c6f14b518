#include <cstdint>

#include "runtime/errors.h"
#include "system/system_entropy.h"

// bcrypt.h builds on the types of windows.h.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace quirlomat {

void SystemEntropy(void* buffer, std::size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ULONG chunk = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            Raise(ErrorNumber::kInternal, "keine Zufallsdaten vom System");
        }
        out += chunk;
        size -= chunk;
    }
}

}  // namespace quirlomat
