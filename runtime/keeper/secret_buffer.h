#pragma once

#include <cstddef>

namespace quirlomat::keeper {

// Memory for the password and its other encodings. The address space for the largest
// accepted text is reserved up front, so the buffer never moves and no copy is left behind
// by growth; pages become resident (and locked, where the system permits) only as they
// fill, which keeps the keeper small for the usual short password. Wiped before release.
class SecretBuffer {
public:
    explicit SecretBuffer(std::size_t capacity);
    ~SecretBuffer();
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;

    // False when the address space could not be reserved; the buffer then holds nothing.
    bool valid() const { return base_ != nullptr; }

    enum class ReadStatus { kComplete, kTooLong, kFailed };
    // Appends everything fd delivers until end of file, refusing more than the capacity.
    ReadStatus ReadAll(int fd);

    // False when the capacity is exhausted.
    bool Push(char byte);

    const char* data() const { return base_; }
    std::size_t size() const { return size_; }

private:
    // Makes the page that holds byte offset `at` resident and locked before it is written.
    void Prepare(std::size_t at);

    char* base_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t reserved_ = 0;
    std::size_t size_ = 0;
    std::size_t lockedEnd_ = 0;
};

}  // namespace quirlomat::keeper
