#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/fair_values.h"
#include "runtime/random_source.h"
#include "secret/secret_string.h"

namespace quirlomat {

using SecretFloats = std::vector<float, SecretAllocator<float>>;

// The real source. Each Reseed takes a fresh 256-bit key from the operating system; Next
// reads the ChaCha20 keystream under that key, 24 bits a raw value, and makes each value with
// FairValues for the count it is asked for, reading a further 24 bits whenever a raw value is
// rejected (fewer than one in 500 for any count up to 32767). One system call per reseed,
// however long the password; key, keystream and values live in secret memory.
class SystemRandomSource final : public RandomSource {
public:
    SystemRandomSource();
    ~SystemRandomSource() override;
    SystemRandomSource(const SystemRandomSource&) = delete;
    SystemRandomSource& operator=(const SystemRandomSource&) = delete;

    void Reseed() override;
    float Next(std::size_t count) override;
    // Up to 512 values a call, made into secret memory of the source's own.
    std::span<const float> NextValues(std::size_t count, std::size_t wanted) override;

private:
    void Refill();

    // Key material and keystream share one secret allocation: [key | keystream].
    SecretBytes state_;
    std::size_t position_;  // next unread keystream byte
    std::uint64_t block_;   // keystream chunks drawn under the current key; the chunk's nonce
    bool seeded_ = false;
    // Prepared for the count of the last draw: a password asks for one count throughout.
    FairValues fair_{0};
    // The last values handed out by NextValues: as secret as the keystream they came from.
    SecretFloats values_;
};

}  // namespace quirlomat
