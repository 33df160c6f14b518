#pragma once

namespace quirlomat {

// The start-up rule of every process that holds a password, the program and its keepers
// alike: no core file, not dumpable (which also keeps debuggers and other processes of the
// same user out of its memory, /proc/<pid>/mem and environ included), and SIGPIPE ignored:
// none of them wants to die because a peer closed a pipe or socket, and each checks its
// writes instead. Best effort: a system that refuses leaves the process as it was.
void HardenProcess() noexcept;

// For a keeper, whose libraries keep copies of what it sends in memory of their own (libxcb's
// output buffer, say): locks every page the process touches from now on into RAM, and
// leaves all of its memory out of core dumps, including those that root takes with gcore.
// Only pages already touched or touched later are locked, so the process does not grow.
// Best effort: beyond RLIMIT_MEMLOCK the memory stays as it was, and the secret memory is
// still locked on its own.
void KeepMemoryOutOfSwapAndCores() noexcept;

}  // namespace quirlomat
