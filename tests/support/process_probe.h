#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// What another process (or this one, pid 0) shows of its protection through /proc.

// The whole of /proc/<pid>/<name>; empty when it cannot be read.
std::string ProcFile(pid_t pid, const std::string& name);

// A "<field>: <n> kB" line of /proc/<pid>/status, in KiB.
std::optional<long> StatusKiB(pid_t pid, const std::string& field);

// The number of a "<field>: <n>" line of /proc/<pid>/status ("Seccomp", "NoNewPrivs").
std::optional<long> StatusNumber(pid_t pid, const std::string& field);

// The soft limit of core files from /proc/<pid>/limits, in bytes ("unlimited": -1).
std::optional<long long> CoreFileLimit(pid_t pid);

// Whether pid's memory is open to processes of the same user (and to debuggers and core
// dumps), as it is unless the process made itself non-dumpable. The kernel shows it in the
// owner of the files in /proc/<pid>, which for a non-dumpable process is root; so a process
// that runs as root itself cannot be told (nullopt).
std::optional<bool> IsDumpable(pid_t pid);

// The prefix of a command that runs it as an unprivileged user, for the processes whose
// dumpability a test run by root must see.
std::vector<std::string> AsUnprivilegedUser();

// For the message of a test that waited in vain for pid: each of its threads with its state
// and where it waits, and, where gdb is installed, the threads' stacks; it tells a process
// that hangs from one that is merely slow.
std::string DescribeThreads(pid_t pid);

// The flags ("lo", "dd", ...) of the mapping of /proc/<pid>/smaps that holds address.
std::optional<std::string> MappingFlags(pid_t pid, const void* address);

}  // namespace quirlomat::testing
