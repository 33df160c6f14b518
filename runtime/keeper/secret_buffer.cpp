#include "runtime/keeper/secret_buffer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace quirlomat::keeper {

namespace {

std::size_t PageSize() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace

SecretBuffer::SecretBuffer(std::size_t capacity) : capacity_(capacity) {
    const std::size_t page = PageSize();
    // One byte more than the capacity, so that a text one byte too long is seen as such.
    reserved_ = (capacity + 1 + page - 1) / page * page;
    void* memory = mmap(nullptr, reserved_, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        reserved_ = 0;
        return;
    }
    base_ = static_cast<char*>(memory);
    (void)madvise(base_, reserved_, MADV_DONTDUMP);
}

SecretBuffer::~SecretBuffer() {
    if (base_ == nullptr) {
        return;
    }
    explicit_bzero(base_, size_);
    if (lockedEnd_ > 0) {
        (void)munlock(base_, lockedEnd_);
    }
    (void)munmap(base_, reserved_);
}

void SecretBuffer::Prepare(std::size_t at) {
    if (at < lockedEnd_) {
        return;
    }
    const std::size_t page = PageSize();
    const std::size_t end = (at / page + 1) * page;
    // Refused beyond RLIMIT_MEMLOCK; the page is then merely unlocked, and still wiped.
    (void)mlock(base_ + lockedEnd_, end - lockedEnd_);
    lockedEnd_ = end;
}

SecretBuffer::ReadStatus SecretBuffer::ReadAll(int fd) {
    if (base_ == nullptr) {
        return ReadStatus::kFailed;
    }
    for (;;) {
        if (size_ > capacity_) {
            return ReadStatus::kTooLong;
        }
        Prepare(size_);
        // Never past the page just locked, so no byte lands in memory that could be swapped.
        const std::size_t room = std::min(reserved_, lockedEnd_) - size_;
        const ssize_t got = read(fd, base_ + size_, room);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadStatus::kFailed;
        }
        if (got == 0) {
            return ReadStatus::kComplete;
        }
        size_ += static_cast<std::size_t>(got);
    }
}

bool SecretBuffer::Push(char byte) {
    if (base_ == nullptr || size_ >= capacity_) {
        return false;
    }
    Prepare(size_);
    base_[size_++] = byte;
    return true;
}

}  // namespace quirlomat::keeper
