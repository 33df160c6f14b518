// The cost of one password against the floor it cannot beat: reading as much entropy from the
// operating system as a password of that length needs (three bytes a character).

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "generator/create_password.h"
#include "generator/standard_key_letters.h"
#include "runtime/decimal_text.h"
#include "secret/secret_string.h"
#include "system/system_entropy.h"
#include "system/system_random_source.h"

namespace {

using namespace quirlomat;

std::u16string LengthText(const benchmark::State& state) {
    return DecimalText(static_cast<std::int32_t>(state.range(0)));
}

void RunCreatePassword(benchmark::State& state, std::u16string_view keyLetters, PasswordMode mode) {
    SystemRandomSource random;
    const std::u16string length = LengthText(state);
    for (auto _ : state) {
        auto password = CreatePassword<SecretText>(keyLetters, length, mode, random);
        benchmark::DoNotOptimize(password.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CreatePasswordKeyLetters(benchmark::State& state) {
    RunCreatePassword(state, StandardKeyLetters, PasswordMode::kKeyLetters);
}

void BM_CreatePasswordCharCodes(benchmark::State& state) {
    RunCreatePassword(state, StandardKeyLetters, PasswordMode::kCharacterCodes);
}

void BM_SystemEntropy(benchmark::State& state) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        SystemEntropy(buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_CreatePasswordKeyLetters)->Arg(63)->Arg(32767);
BENCHMARK(BM_CreatePasswordCharCodes)->Arg(63)->Arg(32767);
BENCHMARK(BM_SystemEntropy)->Arg(189)->Arg(98301);

BENCHMARK_MAIN();
