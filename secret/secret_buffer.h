#pragma once

#include <cstddef>

namespace quirlomat {

// A fixed amount of secret memory that needs neither exceptions nor the C++ library: what a
// keeper holds the password and its other encodings in. It never grows, so it never leaves
// a copy behind; it is wiped and released with the object.
class SecretBuffer {
public:
    SecretBuffer() noexcept = default;
    ~SecretBuffer();
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;

    // Gets capacity bytes, once; false when they cannot be had or the buffer has them already.
    bool Allocate(std::size_t capacity) noexcept;

    char* data() noexcept { return base_; }
    const char* data() const noexcept { return base_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }

    // Sets how many of the bytes are in use; false (and nothing changed) beyond the capacity.
    bool Resize(std::size_t size) noexcept;
    // Appends one byte; false when the capacity is exhausted.
    bool Push(char byte) noexcept;

private:
    char* base_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

}  // namespace quirlomat
