#pragma once

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "clipboard/clipboard.h"
#include "runtime/errors.h"
#include "window/dialog/error_report.h"
#include "window/dialog/program_end.h"

namespace quirlomat::testing {

// Records every text set, as plain UTF-8, and whether it came in the string object's own
// inline buffer, outside secret memory; fails with `failure` while one is set, and runs out
// of memory while outOfMemory is.
class FakeClipboard final : public Clipboard {
public:
    void SetText(const SecretBytes& utf8) override {
        ++calls;
        if (failure) {
            throw *failure;
        }
        if (outOfMemory) {
            throw std::bad_alloc();
        }
        texts.emplace_back(utf8.begin(), utf8.end());
        const auto* object = reinterpret_cast<const char*>(&utf8);
        inlineTexts += utf8.data() >= object && utf8.data() < object + sizeof(SecretBytes) ? 1 : 0;
    }

    std::vector<std::string> texts;
    int calls = 0;
    int inlineTexts = 0;
    std::optional<RunTimeError> failure;
    bool outOfMemory = false;
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
