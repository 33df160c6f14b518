#include "secret/secret_buffer.h"

#include "secret/secret_memory.h"

namespace quirlomat {

bool SecretBuffer::Allocate(std::size_t capacity) noexcept {
    if (base_ != nullptr) {
        return false;
    }
    base_ = static_cast<char*>(AllocateSecret(capacity));
    if (base_ == nullptr) {
        return false;
    }
    capacity_ = capacity;
    return true;
}

SecretBuffer::~SecretBuffer() {
    ReleaseSecret(base_, capacity_);
}

bool SecretBuffer::Resize(std::size_t size) noexcept {
    if (size > capacity_) {
        return false;
    }
    size_ = size;
    return true;
}

bool SecretBuffer::Push(char byte) noexcept {
    if (size_ >= capacity_) {
        return false;
    }
    base_[size_++] = byte;
    return true;
}

}  // namespace quirlomat
