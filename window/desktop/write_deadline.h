#pragma once

#include <chrono>
#include <ctime>

namespace quirlomat {

// A deadline for a blocking system call of one thread, which a timer of that thread then
// interrupts (EINTR, or the part of a write that went through).
//
// What it is for: Qt's Wayland plug-in (6.4 and later) answers a paste with one blocking
// write() into the reader's pipe on the GUI thread, after clearing O_NONBLOCK on purpose. A
// reader that leaves its pipe full would hold the whole program there, and with it every
// other paste, for as long as it liked. Qt offers no hook around that write, but it asks the
// clipboard data for the text right before it, which is where the deadline is armed.
class WriteDeadline {
public:
    // Bounds the calls of the thread that makes it. Without a timer (the system refused one)
    // Arm does nothing.
    WriteDeadline();
    bool valid() const { return valid_; }
    ~WriteDeadline();
    WriteDeadline(const WriteDeadline&) = delete;
    WriteDeadline& operator=(const WriteDeadline&) = delete;

    // The thread's system call under way after `after` from now is interrupted; a call that
    // ends before is not affected, but a later one may be, until Disarm.
    void Arm(std::chrono::milliseconds after);
    void Disarm();

private:
    timer_t timer_ = {};
    bool valid_ = false;
};

}  // namespace quirlomat
