#include <cerrno>
#include <cstdint>
#include <sys/random.h>

#include "runtime/errors.h"
#include "system/system_entropy.h"

namespace quirlomat {

void SystemEntropy(void* buffer, std::size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
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
}

}  // namespace quirlomat
