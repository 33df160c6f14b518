#include "runtime/errors.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/error_number.h"

namespace quirlomat {
namespace {

using testing::ErrorRaisedBy;

TEST(RunTimeError, ReadsAsNumberTextAndDetailInOneLine) {
    const struct {
        ErrorNumber number;
        const char* detail;
        const char* line;
    } cases[] = {
        {ErrorNumber::kInvalidArgument, "",
         "Laufzeitfehler '5': Ungültiger Prozeduraufruf oder ungültiges Argument"},
        {ErrorNumber::kOverflow, "", "Laufzeitfehler '6': Überlauf"},
        {ErrorNumber::kOutOfMemory, "", "Laufzeitfehler '7': Nicht genügend Speicher"},
        {ErrorNumber::kClipboardUnavailable, "das Hilfsprogramm antwortet nicht",
         "Laufzeitfehler '521': Zwischenablage kann nicht geöffnet werden: das Hilfsprogramm "
         "antwortet nicht"},
    };
    for (const auto& c : cases) {
        const RunTimeError error(c.number, c.detail);
        EXPECT_EQ(error.number(), c.number);
        EXPECT_EQ(error.Line(), c.line);
    }
}

TEST(Raise, ThrowsTheErrorOfItsNumberWithATextOfItsOwn) {
    std::set<std::string> texts;
    for (const ErrorNumber number :
         {ErrorNumber::kInvalidArgument, ErrorNumber::kOverflow, ErrorNumber::kOutOfMemory,
          ErrorNumber::kInternal, ErrorNumber::kClipboardUnavailable}) {
        EXPECT_EQ(ErrorRaisedBy([number] { Raise(number); }), number);
        texts.emplace(ErrorText(number));
    }
    EXPECT_EQ(texts.size(), 5U);
}

}  // namespace
}  // namespace quirlomat
