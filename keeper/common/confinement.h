#pragma once

#include <cstdint>

namespace quirlomat::keeper {

// Once a keeper is connected to its display system and holds the password, it needs nothing
// but the descriptors it has: it serves them until it ends. Confining it then means that a
// client that subverted it through the display connection still cannot open a file, create
// or connect a socket, start a program, or trace or signal another process.
//
// In this order: no new privileges; Landlock with no file-system access (and, where the
// kernel offers it, no TCP and no signals or abstract sockets outside the keeper); a seccomp
// filter that allows only the calls the serving loops make. A call outside the filter fails
// with EPERM, because a harmless library call that the list misses must not take the
// password off the clipboard; the calls that only a subverted keeper makes (starting a
// program, tracing, reading or writing another process's memory) kill it at once.
//
// Irreversible, for the whole process. Returns null once confined, else a short German
// reason (the keeper then refuses the password). A kernel without Landlock is not a failure:
// the keeper goes on behind the seccomp filter and says so on its standard error.
// The seccomp filter is made beforehand, by PrepareConfinement, which the keeper calls as it
// starts: libseccomp is loaded for it and unloaded after, and what it allocated goes back to
// the system, all before the keeper locks its memory and long before it holds a password, so
// that none of it stays resident for as long as the keeper serves (about 200 KiB).
const char* ConfineKeeper();

// Makes the filter for ConfineKeeper; false when it cannot (ConfineKeeper then fails). Once,
// in the process to be confined (the filter lets it signal none but itself).
bool PrepareConfinement();

enum class FileSystemLock : std::uint8_t {
    kLocked,      // no path can be opened, created, removed or executed any more
    kNotOffered,  // the kernel has no Landlock (too old, or not enabled at boot)
    kFailed,      // Landlock is there but refused the ruleset
};

// Landlock's step of ConfineKeeper alone, with no new privileges set first as it needs.
FileSystemLock ForbidFileSystem();

}  // namespace quirlomat::keeper
