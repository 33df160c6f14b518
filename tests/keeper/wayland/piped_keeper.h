#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// A keeper started as the program starts it (its input and output pipes to the test, a
// session of its own), so that a test can speak the hand-off protocol step by step, break
// it off anywhere, and watch how the keeper ends.
class PipedKeeper {
public:
    // argv: the keeper's command line, as WaylandSession::Client makes it.
    explicit PipedKeeper(const std::vector<std::string>& argv);
    ~PipedKeeper();  // kills the keeper if it still runs
    PipedKeeper(const PipedKeeper&) = delete;
    PipedKeeper& operator=(const PipedKeeper&) = delete;

    pid_t pid() const { return pid_; }

    // The next status line without its newline; "" at end of output or after timeoutMs.
    std::string ReadLine(int timeoutMs = 10000);
    // Everything the keeper writes from now until it closes its output (at most timeoutMs).
    std::string ReadRest(int timeoutMs = 10000);

    void Write(std::string_view bytes);
    void CloseInput();
    // "<size>\n" and the text, then end of input: a whole hand-off.
    void HandOff(std::string_view text);

    // Whether the keeper has ended by now, without waiting.
    bool HasEnded();
    // Waits up to timeoutMs; the exit status, -1 when it has not ended or a signal ended it.
    int WaitForExit(int timeoutMs);

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int status_ = -2;  // -2: still running
    std::string buffered_;
};

}  // namespace quirlomat::testing
