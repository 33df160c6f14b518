#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// A keeper started the way the program starts it (its input and output piped to the test, a
// session of its own), with its pid at hand, so that a test can speak the hand-off step by
// step, break it off anywhere, signal the keeper and see how it ends.
class KeeperProcess {
public:
    // Starts the keeper at path with the test's environment; waits for nothing.
    explicit KeeperProcess(const std::string& path);
    // Starts command, which runs a keeper in its turn (through setpriv, or as a client of a
    // Wayland session), and so is searched in PATH.
    explicit KeeperProcess(const std::vector<std::string>& command);
    // Starts the keeper and hands text over as the program does; status() is its answer.
    KeeperProcess(const std::string& path, std::string_view text);
    ~KeeperProcess();  // kills the keeper if it still runs
    KeeperProcess(const KeeperProcess&) = delete;
    KeeperProcess& operator=(const KeeperProcess&) = delete;

    // Generous: sanitized keepers on a loaded machine answer slowly, and a keeper that does
    // not answer at all must fail the test, not hang it.
    static constexpr int kPatienceMs = 20000;

    pid_t pid() const { return pid_; }

    // The next status line without its newline; "" once the keeper has closed its output or
    // after timeoutMs without a line.
    std::string ReadLine(int timeoutMs = kPatienceMs);
    // Everything the keeper writes from now until it closes its output (at most timeoutMs).
    std::string ReadRest(int timeoutMs = kPatienceMs);

    // Writes bytes to the keeper's input, all of them unless the keeper stops reading (its
    // status line then says why); throws when it reads nothing for kPatienceMs.
    void Write(std::string_view bytes);
    // End of file on the keeper's input.
    void CloseInput();
    // The program's part of the hand-off: the header, the text, end of file.
    void HandOff(std::string_view text);
    // The whole hand-off: waits for "READY", hands text off and returns the answer ("" when
    // there was none). A keeper that answers otherwise than "READY" gets nothing; that answer
    // is returned.
    std::string HandOver(std::string_view text);

    // The answer to the hand-off the constructor made.
    const std::string& status() const { return status_; }

    // Whether the keeper has ended by now, without waiting.
    bool HasEnded();
    // Waits up to timeoutMs; the exit status, -1 when a signal ended it or it runs on.
    int WaitForExit(int timeoutMs = kPatienceMs);

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int exit_ = -2;  // -2: still running
    std::string buffered_;
    std::string status_;
};

}  // namespace quirlomat::testing
