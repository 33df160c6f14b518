#include "runtime/secret.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sodium.h>

namespace quirlomat {

namespace detail {

namespace {

std::size_t PageSize() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

// Whole pages, so that locking and unlocking one secret never touches another allocation.
std::size_t PageRounded(std::size_t bytes) {
    const std::size_t page = PageSize();
    return bytes == 0 ? page : (bytes + page - 1) / page * page;
}

}  // namespace

void* AllocateSecret(std::size_t bytes) {
    const std::size_t size = PageRounded(bytes);
    if (size < bytes) {
        throw std::bad_alloc();
    }
    void* memory = std::aligned_alloc(PageSize(), size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    // Both may fail (RLIMIT_MEMLOCK, an old kernel); the memory is still usable and will
    // still be wiped, so failure is not an error.
    (void)mlock(memory, size);
#ifdef MADV_DONTDUMP
    (void)madvise(memory, size, MADV_DONTDUMP);
#endif
    return memory;
}

void ReleaseSecret(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) {
        return;
    }
    const std::size_t size = PageRounded(bytes);
    Wipe(memory, size);
    (void)munlock(memory, size);
#ifdef MADV_DODUMP
    (void)madvise(memory, size, MADV_DODUMP);
#endif
    std::free(memory);
}

}  // namespace detail

void Wipe(void* memory, std::size_t bytes) noexcept {
    sodium_memzero(memory, bytes);
}

SecretBytes EncodeUtf8(std::u32string_view text) {
    SecretBytes bytes;
    bytes.reserve(text.size() * 4 + 1);
    for (char32_t c : text) {
        // Surrogates and values beyond U+10FFFF are no characters; they never come out of
        // the generator, but would make the clipboard text ill-formed.
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = U'\uFFFD';
        }
        if (c < 0x80) {
            bytes.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return bytes;
}

void HardenProcess() noexcept {
    const rlimit noCore{0, 0};
    (void)setrlimit(RLIMIT_CORE, &noCore);
#if !defined(QUIRLOMAT_SANITIZED)
    // LeakSanitizer inspects the process through ptrace at exit, which a non-dumpable process
    // forbids; sanitizer builds keep their own core-dump setting (off) instead.
    (void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace quirlomat
