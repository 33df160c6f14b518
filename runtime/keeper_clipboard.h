#pragma once

#include <string>

#include "runtime/clipboard.h"

namespace quirlomat {

// The clipboard on X11, where a selection lives only as long as the program that owns it:
// SetText hands the text to a small keeper process that owns CLIPBOARD from then on and
// serves it to whoever pastes, until another program takes the clipboard.
class KeeperClipboard final : public Clipboard {
public:
    // keeperPath: the keeper executable.
    explicit KeeperClipboard(std::string keeperPath);

    // The keeper that belongs to the program at programPath (its own executable), by the
    // relative path that the build tree, an install prefix and the package share.
    static std::string KeeperPathFor(const std::string& programPath);

    void SetText(const SecretBytes& utf8) override;

private:
    std::string keeperPath_;
};

}  // namespace quirlomat
