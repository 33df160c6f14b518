#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// A keeper started the way the program starts it, but with its pid and both of its pipes at
// hand, so that a test can speak the hand-off step by step, signal the keeper and see how it
// ends.
class KeeperProcess {
public:
    // Starts the keeper at path with DISPLAY as it is; waits for nothing.
    explicit KeeperProcess(const std::string& path);
    // Starts command, which runs a keeper in its turn (through setpriv, say), and so
    // searched in PATH.
    explicit KeeperProcess(const std::vector<std::string>& command);
    // Starts the keeper and hands text over as the program does; status() is its last line.
    KeeperProcess(const std::string& path, std::string_view text);
    // Ends a keeper that still runs.
    ~KeeperProcess();
    KeeperProcess(const KeeperProcess&) = delete;
    KeeperProcess& operator=(const KeeperProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next status line without its newline; "" when the keeper closed its output or
    // wrote nothing for a long time.
    std::string ReadLine();
    // Writes bytes to the keeper's input (all of them, unless it stops reading).
    void Write(std::string_view bytes);
    // Closes the keeper's input: end of file.
    void CloseInput();
    // The program's side of the hand-off: waits for "READY", writes the length and the text,
    // closes the input and returns the keeper's answer ("" when there was none). A keeper
    // that answers otherwise than "READY" gets nothing; that answer is returned.
    std::string HandOver(std::string_view text);

    // The answer of the hand-off made by the constructor.
    const std::string& status() const { return status_; }

    // Waits (generously) for the keeper to end; its exit status, or -1 when it was killed by
    // a signal or did not end in time.
    int WaitForExit();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_;
    std::string status_;
};

}  // namespace quirlomat::testing
