#pragma once

namespace quirlomat {

// The generator's source of random values. Reseed starts a fresh sequence; Next gives the
// next value r, a single-precision number with 0 <= r < 1. The password generator takes one
// as a parameter, so tests can script the values and count the calls.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Reseed() = 0;
    virtual float Next() = 0;
};

}  // namespace quirlomat
