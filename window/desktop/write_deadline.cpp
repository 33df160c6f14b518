#include "window/desktop/write_deadline.h"

#include <csignal>
#include <unistd.h>

namespace quirlomat {

namespace {

void Interrupt(int) {}

// The timer's signal interrupts rather than restarts: SA_RESTART would resume the very write
// the deadline is there to end.
bool InstallHandler() {
    struct sigaction action = {};
    action.sa_handler = &Interrupt;
    action.sa_flags = 0;
    (void)sigemptyset(&action.sa_mask);
    return sigaction(SIGALRM, &action, nullptr) == 0;
}

}  // namespace

WriteDeadline::WriteDeadline() {
    static const bool handled = InstallHandler();
    if (!handled) {
        return;
    }
    sigevent event = {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = gettid();
    valid_ = timer_create(CLOCK_MONOTONIC, &event, &timer_) == 0;
}

WriteDeadline::~WriteDeadline() {
    if (valid_) {
        (void)timer_delete(timer_);
    }
}

void WriteDeadline::Arm(std::chrono::milliseconds after) {
    if (!valid_) {
        return;
    }
    itimerspec when = {};
    when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000);
    when.it_value.tv_nsec = static_cast<long>(after.count() % 1000) * 1'000'000;
    (void)timer_settime(timer_, 0, &when, nullptr);
}

void WriteDeadline::Disarm() {
    if (valid_) {
        const itimerspec never = {};
        (void)timer_settime(timer_, 0, &never, nullptr);
    }
}

}  // namespace quirlomat
