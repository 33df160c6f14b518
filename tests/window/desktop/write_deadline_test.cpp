#include "window/desktop/write_deadline.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quirlomat {
namespace {

using std::chrono::milliseconds;

// Ends the test program should the call under test block for good, which is the fault the
// deadline is there to prevent.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              for (int i = 0; i < 1000 && !done_; ++i) {
                  std::this_thread::sleep_for(milliseconds(10));
              }
              if (!done_) {
                  std::fputs("the call was not interrupted\n", stderr);
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        done_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::atomic<bool> done_ = false;
    std::thread thread_;
};

struct Pipe {
    int ends[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(ends), 0); }
    ~Pipe() {
        close(ends[0]);
        close(ends[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
};

// A reader that leaves its pipe full: the write Qt makes to it blocks until the deadline.
TEST(WriteDeadline, InterruptsAWriteToAFullPipe) {
    const Pipe pipe;
    (void)fcntl(pipe.ends[1], F_SETFL, O_NONBLOCK);
    while (write(pipe.ends[1], "#", 1) == 1) {
    }
    (void)fcntl(pipe.ends[1], F_SETFL, 0);

    WriteDeadline deadline;
    ASSERT_TRUE(deadline.valid());
    const Watchdog watchdog;
    deadline.Arm(milliseconds(100));
    const char text[4096] = {};
    const ssize_t written = write(pipe.ends[1], text, sizeof text);
    const int error = errno;
    deadline.Disarm();
    EXPECT_EQ(written, -1);
    EXPECT_EQ(error, EINTR);
}

// Once disarmed, the deadline leaves the thread's calls alone, however long they wait.
TEST(WriteDeadline, ADisarmedDeadlineInterruptsNothing) {
    const Pipe pipe;
    WriteDeadline deadline;
    ASSERT_TRUE(deadline.valid());
    deadline.Arm(milliseconds(50));
    deadline.Disarm();
    std::thread late([&pipe] {
        std::this_thread::sleep_for(milliseconds(300));
        (void)write(pipe.ends[1], "x", 1);
    });
    char got = 0;
    const ssize_t count = read(pipe.ends[0], &got, 1);
    late.join();
    EXPECT_EQ(count, 1);
    EXPECT_EQ(got, 'x');
}

}  // namespace
}  // namespace quirlomat
