#pragma once

namespace quirlomat {

// The start-up rule of every process that holds a password, the program and its keepers
// alike: no core file; nothing of its memory in a core dump should one be taken anyway, by
// root with gcore, say (the libraries keep copies of what they handle in memory of their
// own: Qt's clipboard data, libxcb's output buffer); not dumpable, which also keeps
// debuggers and other processes of the same user out of its memory; and SIGPIPE ignored:
// none of them wants to die because a peer closed a pipe or socket, and each checks its
// writes instead. Best effort: a system that refuses leaves the process as it was.
void HardenProcess() noexcept;

// For a keeper, which is small: locks every page the process touches, now and later, into
// RAM, so that nothing of it, the copies its libraries make included, is ever swapped out.
// Only pages touched are locked, so the process does not grow; the code pages that starting
// up touched are let go of first, so that only what serving runs stays. Best effort: beyond
// RLIMIT_MEMLOCK the memory stays as it was, and the secret memory is still locked on its own.
void LockAllMemory() noexcept;

}  // namespace quirlomat
