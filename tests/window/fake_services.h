#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "system/clipboard.h"
#include "window/error_report.h"
#include "window/program_end.h"

namespace quirlomat::testing {

// Records every text set, as plain UTF-8; fails with `failure` while one is set.
class FakeClipboard final : public Clipboard {
public:
    void SetText(const SecretBytes& utf8) override {
        ++calls;
        if (failure) {
            throw *failure;
        }
        texts.emplace_back(utf8.begin(), utf8.end());
    }

    std::vector<std::string> texts;
    int calls = 0;
    std::optional<RunTimeError> failure;
};

class FakeErrorReport final : public ErrorReport {
public:
    void Show(const std::string& message) override { messages.push_back(message); }

    std::vector<std::string> messages;
};

class FakeProgramEnd final : public ProgramEnd {
public:
    void End() override { ++calls; }

    int calls = 0;
};

}  // namespace quirlomat::testing
