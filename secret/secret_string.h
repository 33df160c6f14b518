#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "secret/secret_memory.h"

namespace quirlomat {

// A standard allocator over secret memory. Growth of a container goes through deallocate
// as well, so no copy is left behind in freed memory; reserve the full size up front anyway,
// to spare the copies.
template <typename T>
class SecretAllocator {
public:
    using value_type = T;

    SecretAllocator() noexcept = default;
    template <typename U>
    SecretAllocator(const SecretAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        void* memory = AllocateSecret(count * sizeof(T));
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        ReleaseSecret(memory, count * sizeof(T));
    }

    friend bool operator==(const SecretAllocator&, const SecretAllocator&) noexcept { return true; }
};

// A password, one code point per element. A short string keeps its characters in an inline
// buffer inside the string object, outside the allocator's reach: reserve more than that
// (CreatePassword and EncodeUtf8 do) before the first character goes in.
using SecretText =
    std::basic_string<char32_t, std::char_traits<char32_t>, SecretAllocator<char32_t>>;

// Raw secret bytes: a password's UTF-8 form, or key material.
using SecretBytes = std::basic_string<char, std::char_traits<char>, SecretAllocator<char>>;

}  // namespace quirlomat
