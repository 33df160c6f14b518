#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace quirlomat::bench {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

void Die(const std::string& bench, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", bench.c_str(), what.c_str());
    std::exit(1);
}

std::optional<long> ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return std::nullopt;
}

}  // namespace quirlomat::bench
