// The real program read through the real AT-SPI bus, as a screen reader reads it. Each test
// gives the dialog an X server of its own and runs read_dialog.py in a session bus of its own
// (dbus-run-session); the script starts the accessibility bus, a window manager and the
// program, drives the dialog with xdotool and checks what pyatspi reads back.

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/spawn.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Start-up of four programs and the checks of one test on a loaded machine.
constexpr auto kTimeout = std::chrono::seconds(150);
constexpr auto kGrace = std::chrono::seconds(10);
constexpr int kNotApplicable = 77;

struct Outcome {
    int status = -1;  // exit status; -1 after a signal or the timeout
    std::string output;
};

// The environment of the test, minus what would lead the script to the user's desktop.
std::vector<std::string> Environment(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool keep = true;
        for (const char* name : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                 "DBUS_SESSION_BUS_ADDRESS=", "AT_SPI_BUS_ADDRESS="}) {
            keep = keep && entry.rfind(name, 0) != 0;
        }
        if (keep) {
            env.push_back(entry);
        }
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

bool GroupIsGone(pid_t group) {
    return kill(-group, 0) != 0 && errno == ESRCH;
}

// Runs the check in a process group of its own and, whatever happens, ends the whole group
// afterwards, so that nothing the script started outlives the test.
Outcome RunCheck(const std::string& check, const std::string& display) {
    std::vector<std::string> argv = {"dbus-run-session",    "--",  QUIRLOMAT_A11Y_PYTHON,
                                     QUIRLOMAT_A11Y_SCRIPT, check, QUIRLOMAT_A11Y_PROGRAM};
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return {-1, "pipe2 failed"};
    }
    SpawnOptions options;
    options.output.fd = ends[1];
    options.error.fd = ends[1];
    options.group = SpawnOptions::Group::kOwnGroup;
    options.environment = Environment(display);
    pid_t pid = -1;
    try {
        pid = Spawn(argv, options);
    } catch (const std::runtime_error&) {
        close(ends[0]);
        close(ends[1]);
        return {-1, "cannot start dbus-run-session (is the package dbus-daemon installed?)"};
    }
    close(ends[1]);
    (void)fcntl(ends[0], F_SETFL, O_NONBLOCK);

    Outcome outcome;
    const Clock::time_point deadline = Clock::now() + kTimeout;
    bool ended = false;
    int status = 0;
    while (!ended && Clock::now() < deadline) {
        pollfd readable{ends[0], POLLIN, 0};
        (void)poll(&readable, 1, 100);
        char buffer[4096];
        ssize_t got = 0;
        while ((got = read(ends[0], buffer, sizeof buffer)) > 0) {
            outcome.output.append(buffer, static_cast<std::size_t>(got));
        }
        ended = waitpid(pid, &status, WNOHANG) == pid;
    }
    const bool timedOut = !ended;
    if (timedOut) {
        // The script stops what it started when asked to, and removes its files; the group
        // is killed only when it has had the time to.
        (void)kill(-pid, SIGTERM);
        const Clock::time_point grace = Clock::now() + kGrace;
        while (Clock::now() < grace && !GroupIsGone(pid)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ended = ended || waitpid(pid, &status, WNOHANG) == pid;
        }
        outcome.output += "\n(timed out)";
    }
    (void)kill(-pid, SIGKILL);  // the group outlives its leader while any member lives
    if (!ended) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else if (!timedOut && WIFEXITED(status)) {
        outcome.status = WEXITSTATUS(status);
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(ends[0], buffer, sizeof buffer)) > 0) {
        outcome.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    return outcome;
}

class AccessibleDialog : public ::testing::Test {
protected:
    void Check(const std::string& check) {
        XvfbServer server;
        const Outcome outcome = RunCheck(check, server.display());
        if (outcome.status == kNotApplicable) {
            GTEST_SKIP() << outcome.output;
        }
        EXPECT_EQ(outcome.status, 0) << outcome.output;
    }
};

TEST_F(AccessibleDialog, ReportsRolesNamesDescriptionsAndStates) {
    Check("tree");
}

TEST_F(AccessibleDialog, TheKeyLettersBoxTellsTheCountAfterTyping) {
    Check("count");
}

TEST_F(AccessibleDialog, AccessKeysMoveTheFocusAndTypeNothing) {
    Check("access_keys");
}

TEST_F(AccessibleDialog, AClickOnTheLabelKeyTogglesTheBox) {
    Check("label_click");
}

TEST_F(AccessibleDialog, AChangedCountIsAnnouncedWhereQtCan) {
    Check("announcement");
}

}  // namespace
}  // namespace quirlomat::testing
