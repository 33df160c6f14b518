#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace quirlomat::testing {

// A keeper started the way the program starts it, but with its pid at hand, so that a test
// can signal it and see how it ends.
class KeeperProcess {
public:
    // Starts the keeper at path with DISPLAY as it is, writes text to it, closes its input and
    // reads its status line.
    KeeperProcess(const std::string& path, std::string_view text);
    // Ends a keeper that still runs.
    ~KeeperProcess();
    KeeperProcess(const KeeperProcess&) = delete;
    KeeperProcess& operator=(const KeeperProcess&) = delete;

    pid_t pid() const { return pid_; }
    // The status line without its newline ("" when the keeper wrote none).
    const std::string& status() const { return status_; }

    // Waits (generously) for the keeper to end; its exit status, or -1 when it was killed by
    // a signal or did not end in time.
    int WaitForExit();

private:
    pid_t pid_ = -1;
    std::string status_;
};

}  // namespace quirlomat::testing
