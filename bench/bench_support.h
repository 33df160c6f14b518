#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// What the desktop benches share: their figures and their way of giving up.
namespace quirlomat::bench {

// The median of values (the mean of the middle two for an even count); values not empty.
double Median(std::vector<double> values);

// Ends the bench with status 1 after telling why, under the bench's name.
[[noreturn]] void Die(const std::string& bench, const std::string& what);

// The resident set of process pid in KiB, or nothing once it has gone.
std::optional<long> ResidentKiB(pid_t pid);

}  // namespace quirlomat::bench
