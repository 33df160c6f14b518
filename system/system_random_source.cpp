#include "system/system_random_source.h"

#include <algorithm>
#include <cstring>

#include <sodium.h>

#include "runtime/errors.h"
#include "system/system_entropy.h"

namespace quirlomat {

namespace {

constexpr std::size_t kKeySize = crypto_stream_chacha20_ietf_KEYBYTES;
// A multiple of 3 (one raw value) and of 512 (the eight ChaCha20 blocks that libsodium's
// vector code makes at a time): 512 raw values a chunk. Small, so that a short password
// computes little keystream it never reads; a long one pays one more call per 512 values.
constexpr std::size_t kChunkSize = std::size_t{3} * 512;

}  // namespace

SystemRandomSource::SystemRandomSource()
    : position_(kChunkSize), block_(0), values_(kChunkSize / 3) {
    if (sodium_init() < 0) {
        Raise(ErrorNumber::kInternal, "Zufallsgenerator nicht verfügbar");
    }
}

SystemRandomSource::~SystemRandomSource() = default;  // the allocator wipes state_

void SystemRandomSource::Reseed() {
    // A fresh allocation: the old key and what is left of its keystream go back to the
    // system wiped, so nothing of a past password's values outlives the reseed.
    state_ = SecretBytes(kKeySize + kChunkSize, '\0');
    sodium_memzero(values_.data(), values_.size() * sizeof(float));
    SystemEntropy(state_.data(), kKeySize);
    block_ = 0;
    position_ = kChunkSize;  // the first value draws a chunk under the new key
    seeded_ = true;
}

void SystemRandomSource::Refill() {
    // Each chunk is the keystream under its own nonce, so no two chunks under one key
    // overlap; 2^64 chunks are far beyond any password.
    unsigned char nonce[crypto_stream_chacha20_ietf_NONCEBYTES] = {};
    std::memcpy(nonce, &block_, sizeof block_);
    ++block_;
    auto* bytes = reinterpret_cast<unsigned char*>(state_.data());
    crypto_stream_chacha20_ietf(bytes + kKeySize, kChunkSize, nonce, bytes);
    position_ = 0;
}

float SystemRandomSource::Next(std::size_t count) {
    return NextValues(count, 1).front();
}

std::span<const float> SystemRandomSource::NextValues(std::size_t count, std::size_t wanted) {
    // A value drawn before any reseed must be just as unpredictable.
    if (!seeded_) {
        Reseed();
    }
    if (count != fair_.count()) {
        fair_ = FairValues(count);
    }
    const auto* keystream = reinterpret_cast<const unsigned char*>(state_.data()) + kKeySize;
    const std::size_t size = std::min(wanted, values_.size());
    float* values = values_.data();
    std::size_t made = 0;
    while (made < size) {
        if (position_ == kChunkSize) {
            Refill();
        }
        // A whole chunk's raw values at a time, so the loop that makes them checks nothing
        // else; a rejected raw value leaves its place to the next one.
        const std::size_t end = std::min(kChunkSize, position_ + (size - made) * 3);
        for (; position_ < end; position_ += 3) {
            const unsigned char* bytes = keystream + position_;
            const std::uint32_t raw = static_cast<std::uint32_t>(bytes[0]) |
                                      static_cast<std::uint32_t>(bytes[1]) << 8 |
                                      static_cast<std::uint32_t>(bytes[2]) << 16;
            made += static_cast<std::size_t>(fair_.FromRaw(raw, values[made]));
        }
    }
    return {values, size};
}

}  // namespace quirlomat
