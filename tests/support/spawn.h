#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// Where a standard stream of a started program goes: a descriptor of the test's, a file, or
// (neither given) /dev/null.
struct Stream {
    int fd = -1;       // duplicated onto the stream when not negative
    std::string path;  // otherwise opened: read for input, written anew for output
};

struct SpawnOptions {
    Stream input;
    Stream output;
    Stream error;
    // kOwnSession: a session of its own, as the program starts its keepers; kOwnGroup: a
    // process group the test can end as a whole.
    enum class Group : std::uint8_t { kTests, kOwnGroup, kOwnSession } group = Group::kTests;
    // "NAME=value" entries; the test's own environment when empty.
    std::vector<std::string> environment;
};

// The one way the tests start a program: argv[0] searched in the PATH of the test's
// environment. Returns the pid; throws std::runtime_error when the program cannot start.
pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options = {});

}  // namespace quirlomat::testing
