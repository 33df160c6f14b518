#pragma once

#include <memory>
#include <vector>

#include "clipboard/clipboard.h"

namespace quirlomat {

// Several ways to the clipboard tried in turn: SetText goes to the first that succeeds, and
// a failure falls to the next. When every one fails, the last failure is raised, and the
// clipboard is as it was.
class HandOffChain final : public Clipboard {
public:
    explicit HandOffChain(std::vector<std::unique_ptr<Clipboard>> ways);

    // Prepares every way, so that a fall to the next costs no start-up either.
    void Prepare() override;
    void SetText(const SecretBytes& utf8) override;
    // The custody of the way that took the text.
    Custody custody() const override;

private:
    std::vector<std::unique_ptr<Clipboard>> ways_;
    const Clipboard* taken_ = nullptr;
};

}  // namespace quirlomat
