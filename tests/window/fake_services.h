#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/clipboard.h"
#include "runtime/error_report.h"
#include "runtime/program_end.h"
#include "runtime/runtime_error.h"

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
    std::optional<RuntimeError> failure;
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
