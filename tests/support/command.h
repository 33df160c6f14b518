#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace quirlomat::testing {

// What a finished command left behind.
struct CommandResult {
    int status = -1;  // exit status; -1 when killed by a signal or after the timeout
    std::string out;
    std::string err;
};

// Runs argv (searched in PATH) with DISPLAY set to display (unset when empty), feeds it input
// and collects its output. A command that has not finished after timeoutMs is killed.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& display,
                         const std::string& input = {}, int timeoutMs = 20000);

// A program left running while the test drives it from outside.
class RunningProgram {
public:
    // extraEnvironment: "NAME=value" entries added to (or replacing those of) the test's own.
    // input, when given, is written to the program's standard input, which is then closed.
    RunningProgram(const std::vector<std::string>& argv, const std::string& display,
                   const std::vector<std::string>& extraEnvironment = {},
                   const std::string& input = {});
    ~RunningProgram();  // kills the program if it still runs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t pid() const { return pid_; }
    // Whether the program has ended by now (without waiting).
    bool HasEnded();
    // Waits up to timeoutMs for the end; the exit status, or -1 (signal or timeout).
    int WaitForExit(int timeoutMs = 20000);
    // Everything it wrote to standard error so far (complete once it has ended).
    std::string Stderr();

private:
    void Drain(int timeoutMs);

    pid_t pid_ = -1;
    int stderrFd_ = -1;
    int status_ = -2;  // -2: still running
    std::string err_;
};

}  // namespace quirlomat::testing
