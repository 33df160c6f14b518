#include "window/desktop/owner_limits.h"

#include <utility>

namespace quirlomat {

namespace {

constexpr std::chrono::milliseconds kCompositorReadsWithin{500};

}  // namespace

OwnerLimits::OwnerLimits(const ClipboardLimits& limits, std::function<void()> gone)
    : watch_(limits, keeper::Clock::now()), start_(keeper::Clock::now()), gone_(std::move(gone)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (keeper::Clock::now() >= watch_.GoneAt()) {
            gone_();
        } else {
            Arm();
        }
    });
    Arm();
}

bool OwnerLimits::Admit() {
    const keeper::Clock::time_point now = keeper::Clock::now();
    if (!compositorHasRead_ && now < start_ + kCompositorReadsWithin) {
        // Refused: a copy the compositor never got is one it cannot serve after the limit,
        // and a program that has lost the keyboard focus can no longer replace it.
        compositorHasRead_ = true;
        return false;
    }
    const bool admitted = watch_.Admit(now);
    Arm();
    return admitted;
}

void OwnerLimits::Arm() {
    const keeper::Clock::time_point goneAt = watch_.GoneAt();
    if (goneAt == keeper::Clock::time_point::max()) {
        timer_.stop();
        return;
    }
    timer_.start(keeper::MillisecondsUntil(goneAt, keeper::Clock::now()));
}

}  // namespace quirlomat
