// The cost of one password against the floor it cannot beat: reading as much entropy from the
// operating system as a password of that length needs (three bytes a character). Ends with
// the ratios that matter: a long password against one read of its entropy, and how much of a
// short password's cost is its draws (the fresh key and one value per character).

#include <cstdio>
#include <map>
#include <span>
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

// What CreatePassword asks of its source for a password of that length, in the same way: a
// reseed, then one value per character for the standard key letters' 80 choices.
void BM_Draws(benchmark::State& state) {
    SystemRandomSource random;
    const auto length = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        random.Reseed();
        for (std::size_t drawn = 0; drawn < length;) {
            const std::span<const float> values = random.NextValues(80, length - drawn);
            benchmark::DoNotOptimize(values.data());
            drawn += values.size();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SystemEntropy(benchmark::State& state) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        SystemEntropy(buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Whether a run failed: Google Benchmark up to 1.7 (Debian 12) says so in error_occurred,
// from 1.8 on (Debian 13) in skipped, which also covers a skip with a message.
template <typename R>
auto Failed(const R& run, int) -> decltype(run.error_occurred, bool()) {
    return run.error_occurred;
}
template <typename R>
auto Failed(const R& run, long) -> decltype(run.skipped, bool()) {
    return static_cast<int>(run.skipped) != 0;
}

// The console report, keeping each benchmark's median (or its only run) for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double cpu;
        double real;
    };

    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (Failed(run, 0) || (run.run_type == Run::RT_Aggregate && !median)) {
                continue;
            }
            const std::string name = run.run_name.str();
            if (median || medians_.count(name) == 0) {
                times_[name] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
            }
            if (median) {
                medians_[name] = true;
            }
        }
    }

    // part / whole as a factor, or as a share in per cent; nothing when either was not run
    // (a filter left it out).
    void PrintRatio(const char* what, const std::string& part, const std::string& whole,
                    bool share = false) const {
        const auto p = times_.find(part);
        const auto w = times_.find(whole);
        if (p == times_.end() || w == times_.end() || w->second.cpu <= 0 || w->second.real <= 0) {
            return;
        }
        const double cpu = p->second.cpu / w->second.cpu;
        const double real = p->second.real / w->second.real;
        if (share) {
            std::printf("%-66s %5.0f%% CPU time, %5.0f%% real time\n", what, cpu * 100, real * 100);
        } else {
            std::printf("%-66s %5.2fx CPU time, %5.2fx real time\n", what, cpu, real);
        }
    }

private:
    std::map<std::string, Times> times_;
    std::map<std::string, bool> medians_;
};

}  // namespace

BENCHMARK(BM_CreatePasswordKeyLetters)->Arg(63)->Arg(32767);
BENCHMARK(BM_CreatePasswordCharCodes)->Arg(63)->Arg(32767);
BENCHMARK(BM_Draws)->Arg(63)->Arg(32767);
BENCHMARK(BM_SystemEntropy)->Arg(189)->Arg(98301);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf(
        "\nRatios (of the medians, where repeated; goal: at most 2x for 32767 characters):\n");
    reporter.PrintRatio("32767 key letters against one read of 98301 bytes of entropy",
                        "BM_CreatePasswordKeyLetters/32767", "BM_SystemEntropy/98301");
    reporter.PrintRatio("32767 character codes against one read of 98301 bytes of entropy",
                        "BM_CreatePasswordCharCodes/32767", "BM_SystemEntropy/98301");
    reporter.PrintRatio("63 key letters against one read of 189 bytes of entropy",
                        "BM_CreatePasswordKeyLetters/63", "BM_SystemEntropy/189");
    reporter.PrintRatio("share of the draws (fresh key, 63 values) in 63 key letters",
                        "BM_Draws/63", "BM_CreatePasswordKeyLetters/63", true);
    return 0;
}
