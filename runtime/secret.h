#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quirlomat {

namespace detail {
void* AllocateSecret(std::size_t bytes);
void ReleaseSecret(void* memory, std::size_t bytes) noexcept;
}  // namespace detail

// An allocator for memory that holds a password or the key it came from. Each allocation gets
// pages of its own, locked into RAM where the system permits it (so it is not swapped out)
// and excluded from core dumps; it is wiped before it is given back. Growth of a container
// goes through deallocate as well, so no copy is left behind in freed memory.
template <typename T>
class SecretAllocator {
public:
    using value_type = T;

    SecretAllocator() noexcept = default;
    template <typename U>
    SecretAllocator(const SecretAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

    T* allocate(std::size_t count) {
        return static_cast<T*>(detail::AllocateSecret(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        detail::ReleaseSecret(memory, count * sizeof(T));
    }

    friend bool operator==(const SecretAllocator&, const SecretAllocator&) noexcept { return true; }
};

// A password, one code point per element. Reserve its full length before filling it: a short
// string's inline buffer lives in the object itself, outside the allocator's reach.
using SecretText =
    std::basic_string<char32_t, std::char_traits<char32_t>, SecretAllocator<char32_t>>;

// Raw secret bytes: a password's UTF-8 form, or key material.
using SecretBytes = std::basic_string<char, std::char_traits<char>, SecretAllocator<char>>;

// The UTF-8 form of a password, as it goes to the clipboard.
SecretBytes EncodeUtf8(std::u32string_view text);

// Wipes memory in a way the compiler may not elide.
void Wipe(void* memory, std::size_t bytes) noexcept;

// Keeps this process's memory out of core dumps and away from debuggers of the same user.
// Best effort: a system that refuses leaves the process as it was.
void HardenProcess() noexcept;

}  // namespace quirlomat
