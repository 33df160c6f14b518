#pragma once

#include <cstddef>
#include <stdexcept>
#include <vector>

#include "runtime/random_source.h"

namespace quirlomat::testing {

// Gives the values it was told, in order, repeating the last one; counts every call, so a
// test can check that a password used exactly one value per character.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<float> values) : values_(std::move(values)) {
        if (values_.empty()) {
            throw std::invalid_argument("ScriptedRandom needs at least one value");
        }
    }

    void Reseed() override { ++reseeds; }
    float Next() override {
        const float value = values_[nexts < values_.size() ? nexts : values_.size() - 1];
        ++nexts;
        return value;
    }

    std::size_t reseeds = 0;
    std::size_t nexts = 0;

private:
    std::vector<float> values_;
};

}  // namespace quirlomat::testing
