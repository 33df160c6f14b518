#pragma once

#include <string>
#include <utility>

#include "clipboard/clipboard.h"
#include "runtime/errors.h"

namespace quirlomat {

// The way to the clipboard where the session cannot keep the limits the user set: the text
// is refused with reason, the clipboard stays as it was and the window stays open. A bound the
// user asked for is never dropped in silence.
class LimitsRefused final : public Clipboard {
public:
    explicit LimitsRefused(std::string reason) : reason_(std::move(reason)) {}

    void SetText(const SecretBytes&) override {
        Raise(ErrorNumber::kClipboardUnavailable, reason_);
    }

private:
    std::string reason_;
};

}  // namespace quirlomat
