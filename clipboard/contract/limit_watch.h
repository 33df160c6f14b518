#pragma once

#include <algorithm>
#include <cstdint>

#include "clipboard/contract/clipboard_limits.h"
#include "clipboard/contract/clock.h"

namespace quirlomat::keeper {

// Counts the pastes of the password against the user's limits and says when it must be gone.
// Pure bookkeeping on the keepers' one clock: the owner that asks decides what a request for
// a text form is (list of forms and the secret hint alone never are) and what gone means.
class LimitWatch {
public:
    // start: when the password reached the clipboard, which is the moment of "Erstellen" to
    // within the hand-off's few milliseconds.
    LimitWatch(ClipboardLimits limits, Clock::time_point start)
        : limits_(limits),
          clearAt_(limits.clearAfterSeconds == 0
                       ? Clock::time_point::max()
                       : start + std::chrono::seconds(limits.clearAfterSeconds)) {}

    // A reader asks for a text form at now: true when it is to be served. A request within
    // kOnePaste of the first of the current paste belongs to that paste; any other begins the
    // next one, which there is none of once the limit is reached.
    bool Admit(Clock::time_point now) {
        if (now >= GoneAt()) {
            return false;
        }
        if (served_ != 0 && now < pasteStart_ + kOnePaste) {
            return true;
        }
        if (limits_.pastes != 0 && served_ >= limits_.pastes) {
            return false;
        }
        ++served_;
        pasteStart_ = now;
        return true;
    }

    // When the password must be gone: the time limit, or the end of the last allowed paste;
    // time_point::max() while neither is due.
    Clock::time_point GoneAt() const {
        const Clock::time_point lastPasteOver = limits_.pastes != 0 && served_ >= limits_.pastes
                                                    ? pasteStart_ + kOnePaste
                                                    : Clock::time_point::max();
        return std::min(clearAt_, lastPasteOver);
    }

    bool limited() const { return limits_.any(); }
    std::uint32_t pastes() const { return served_; }

private:
    ClipboardLimits limits_;
    Clock::time_point clearAt_;
    Clock::time_point pasteStart_;
    std::uint32_t served_ = 0;
};

}  // namespace quirlomat::keeper
