#pragma once

#include <algorithm>
#include <cstddef>
#include <set>
#include <span>
#include <stdexcept>
#include <vector>

#include "runtime/random_source.h"

namespace quirlomat::testing {

// Gives the values it was told, in order, repeating the last one, whatever the count asked
// for; counts every call and records each count, so a test can check that a password used
// exactly one value per character and what each value was drawn for.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<float> values) : values_(std::move(values)) {
        if (values_.empty()) {
            throw std::invalid_argument("ScriptedRandom needs at least one value");
        }
    }

    void Reseed() override { ++reseeds; }
    float Next(std::size_t count) override {
        const float value = values_[nexts < values_.size() ? nexts : values_.size() - 1];
        ++nexts;
        counts.insert(count);
        return value;
    }

    // Hands the values out in runs of up to runLength, as a source that makes them in bulk.
    std::span<const float> NextValues(std::size_t count, std::size_t wanted) override {
        run_.clear();
        while (run_.size() < (ignoresWanted ? runLength : std::min(wanted, runLength))) {
            run_.push_back(Next(count));
        }
        return run_;
    }

    std::size_t runLength = 1;
    bool ignoresWanted = false;  // a faulty source that hands out more than it was asked for
    std::size_t reseeds = 0;
    std::size_t nexts = 0;
    std::set<std::size_t> counts;  // every count that was asked for

private:
    std::vector<float> values_;
    std::vector<float> run_;
};

}  // namespace quirlomat::testing
