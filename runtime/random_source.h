#pragma once

#include <cstddef>
#include <span>

namespace quirlomat {

// The generator's source of random values. Reseed starts a fresh sequence. Next(count) gives
// the next value r, a single-precision number with 0 <= r < 1, for a draw among count equal
// choices: each of the count intervals [i / count, (i + 1) / count) is exactly equally likely
// to hold r, so floor(r * count) names each choice equally often (FairValues in
// runtime/fair_values.h tells how far that holds). A count of 0 asks for a value that nothing
// is chosen by; the source still advances by one value.
//
// The password generator takes one as a parameter and names the count of each draw, so tests
// can script the values, count the calls and see what each was for.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Reseed() = 0;
    virtual float Next(std::size_t count) = 0;

    // The next values for count choices, exactly those that as many calls of Next(count)
    // would give: at least one and at most wanted (wanted >= 1). They stay valid until the
    // next call on the source, in the source's own memory, which for the real source is
    // secret. A source that makes values in bulk saves a call per value; this one makes one.
    virtual std::span<const float> NextValues(std::size_t count, std::size_t wanted) {
        (void)wanted;
        last_ = Next(count);
        return {&last_, 1};
    }

private:
    float last_ = 0.0F;
};

}  // namespace quirlomat
