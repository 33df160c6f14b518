#include "clipboard/contract/hand_off_reader.h"

#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quirlomat::keeper {
namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
        read = ends[0];
        write = ends[1];
    }
    ~Pipe() {
        CloseWrite();
        close(read);
    }
    void CloseWrite() {
        if (write >= 0) {
            close(write);
            write = -1;
        }
    }
};

struct Outcome {
    HandOffStatus status;
    std::string text;
    ClipboardLimits limits;
};

// What the reader makes of input, written by another thread (the pipe holds only 64 KiB)
// and followed by the end of file.
Outcome Read(const std::string& input) {
    // A reader that stops early makes the writer's next write fail, which must not end the test.
    (void)signal(SIGPIPE, SIG_IGN);
    Pipe pipe;
    std::thread writer([&pipe, &input] {
        std::size_t written = 0;
        while (written < input.size()) {
            const ssize_t put = write(pipe.write, input.data() + written, input.size() - written);
            if (put <= 0) {
                break;  // the reader gave up early
            }
            written += static_cast<std::size_t>(put);
        }
        pipe.CloseWrite();
    });
    SecretBuffer text;
    ClipboardLimits limits;
    const HandOffStatus status = ReadHandOff(pipe.read, -1, &text, &limits);
    // A reader that stops early leaves the writer blocked on a full pipe.
    close(pipe.read);
    pipe.read = -1;
    writer.join();
    return {status, std::string(text.data() == nullptr ? "" : text.data(), text.size()), limits};
}

TEST(ReadHandOff, TakesExactlyTheAnnouncedBytesAndNothingElse) {
    const std::string large(kLargestText, 'x');
    const struct {
        const char* what;
        std::string input;
        HandOffStatus status;
        std::string text;
        ClipboardLimits limits = {};
    } cases[] = {
        {"a password", "3\nabc", HandOffStatus::kReceived, "abc"},
        {"the empty password", "0\n", HandOffStatus::kReceived, ""},
        {"any character", std::string("4\n\n\0\xC3\xBF", 6), HandOffStatus::kReceived,
         std::string("\n\0\xC3\xBF", 4)},
        {"bytes that are no UTF-8", "3\n\xff\xfe\xfd", HandOffStatus::kNotUtf8, ""},
        {"a surrogate", "3\n\xed\xa0\x80", HandOffStatus::kNotUtf8, ""},
        {"the largest text", std::to_string(kLargestText) + "\n" + large, HandOffStatus::kReceived,
         large},
        {"nothing at all", "", HandOffStatus::kNotNeeded, ""},
        {"end of file in the length", "3", HandOffStatus::kMalformed, ""},
        {"end of file in the text", "5\nabc", HandOffStatus::kIncomplete, ""},
        {"more than announced", "2\nabc", HandOffStatus::kMalformed, ""},
        {"no digits", "\nabc", HandOffStatus::kMalformed, ""},
        {"not a number", "x\n", HandOffStatus::kMalformed, ""},
        {"a sign", "-1\n", HandOffStatus::kMalformed, ""},
        {"a blank", " 3\nabc", HandOffStatus::kMalformed, ""},
        {"a leading zero", "03\nabc", HandOffStatus::kMalformed, ""},
        {"one byte too long", std::to_string(kLargestText + 1) + "\n", HandOffStatus::kTooLong, ""},
        {"endless digits", std::string(100, '9') + "\n", HandOffStatus::kTooLong, ""},
        {"both limits", "3 2 30\nabc", HandOffStatus::kReceived, "abc", {2, 30}},
        {"pastes alone", "3 1000 0\nabc", HandOffStatus::kReceived, "abc", {1000, 0}},
        {"time alone", "3 0 86400\nabc", HandOffStatus::kReceived, "abc", {0, 86400}},
        {"one limit only", "3 2\nabc", HandOffStatus::kMalformed, ""},
        {"limits of nothing", "3 0 0\nabc", HandOffStatus::kMalformed, ""},
        {"too many pastes", "3 1001 0\nabc", HandOffStatus::kMalformed, ""},
        {"too long a time", "3 0 86401\nabc", HandOffStatus::kMalformed, ""},
        {"a leading zero in a limit", "3 02 0\nabc", HandOffStatus::kMalformed, ""},
        {"two blanks", "3  2 0\nabc", HandOffStatus::kMalformed, ""},
        {"a fourth number", "3 2 0 1\nabc", HandOffStatus::kMalformed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = Read(c.input);
        EXPECT_EQ(outcome.status, c.status);
        if (c.status == HandOffStatus::kReceived) {
            EXPECT_TRUE(outcome.text == c.text) << outcome.text.size() << " bytes";
            EXPECT_EQ(outcome.limits.pastes, c.limits.pastes);
            EXPECT_EQ(outcome.limits.clearAfterSeconds, c.limits.clearAfterSeconds);
        }
        const char* failure = HandOffFailure(c.status);
        const bool quiet =
            c.status == HandOffStatus::kReceived || c.status == HandOffStatus::kNotNeeded;
        EXPECT_EQ(failure == nullptr, quiet);
    }
}

TEST(ReadHandOff, GivesUpWhenATerminationSignalIsReady) {
    Pipe input;
    Pipe signals;
    ASSERT_EQ(write(input.write, "5\nab", 4), 4);  // the program stalls in the middle
    ASSERT_EQ(write(signals.write, "s", 1), 1);
    SecretBuffer text;
    EXPECT_EQ(ReadHandOff(input.read, signals.read, &text), HandOffStatus::kInterrupted);
}

}  // namespace
}  // namespace quirlomat::keeper

namespace quirlomat::keeper {
namespace {

// The header the program writes is the one the keeper reads, at every number of digits up to
// the largest text, and one byte more is refused.
TEST(ReadHandOff, ReadsTheHeaderTheProgramWrites) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{10}, std::size_t{63},
          std::size_t{98301}, kLargestText, kLargestText + 1}) {
        char header[hand_off::kLongestHeader];
        const std::size_t length = hand_off::WriteHeader(size, header);
        EXPECT_EQ(std::string(header, length), std::to_string(size) + "\n");
        // The longest header of all fits.
        char longest[hand_off::kLongestHeader];
        const std::size_t limited =
            hand_off::WriteHeader(size, longest, {kMostPastes, kMostClearAfterSeconds});
        EXPECT_EQ(std::string(longest, limited), std::to_string(size) + " 1000 86400\n");
        const Outcome outcome = Read(std::string(header, length) + std::string(size, 'q'));
        if (size == 0) {
            // An empty text is a text: the program hands over what the length box made.
            EXPECT_EQ(outcome.status, HandOffStatus::kReceived);
        } else if (size <= kLargestText) {
            EXPECT_EQ(outcome.status, HandOffStatus::kReceived) << size;
            EXPECT_EQ(outcome.text.size(), size);
        } else {
            EXPECT_EQ(outcome.status, HandOffStatus::kTooLong);
        }
    }
}

}  // namespace
}  // namespace quirlomat::keeper
