#include "clipboard/hand_off_chain.h"

#include <exception>
#include <utility>

#include "runtime/errors.h"

namespace quirlomat {

HandOffChain::HandOffChain(std::vector<std::unique_ptr<Clipboard>> ways) : ways_(std::move(ways)) {}

void HandOffChain::Prepare() {
    for (const auto& way : ways_) {
        way->Prepare();
    }
}

void HandOffChain::SetText(const SecretBytes& utf8) {
    std::exception_ptr failure;
    for (const auto& way : ways_) {
        try {
            way->SetText(utf8);
            taken_ = way.get();
            return;
        } catch (const RunTimeError&) {
            failure = std::current_exception();
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    Raise(ErrorNumber::kClipboardUnavailable);
}

Custody HandOffChain::custody() const {
    return taken_ != nullptr ? taken_->custody() : Clipboard::custody();
}

}  // namespace quirlomat
