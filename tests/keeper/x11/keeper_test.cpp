#include <algorithm>
#include <iterator>
#include <optional>
#include <set>
#include <signal.h>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "clipboard/contract/hand_off_reader.h"
#include "support/keeper_process.h"
#include "support/no_display.h"
#include "support/selection_client.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {
namespace {

using keeper::kLargestText;

const std::string kKeeper = QUIRLOMAT_TEST_KEEPER_PATH;

// A text of the given size in bytes, of one-, two-, three- and four-byte characters.
std::string MixedText(std::size_t bytes) {
    const std::string pattern = "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x99\x82";  // a ä € 🙂
    std::string text;
    while (text.size() + pattern.size() <= bytes) {
        text += pattern;
    }
    text.append(bytes - text.size(), 'z');
    return text;
}

class KeeperTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("DISPLAY", server_.display().c_str(), 1); }

    // A keeper started as the program starts it, holding text and owning the clipboard.
    void Hold(std::string_view text) {
        keeper_.emplace(kKeeper, text);
        ASSERT_EQ(keeper_->status(), "OK");
    }
    // Only after Hold(); a test that asks before holding is wrong, and stops here.
    KeeperProcess& keeper() {
        if (!keeper_) {
            std::abort();
        }
        return *keeper_;
    }

    XvfbServer server_;
    std::optional<KeeperProcess> keeper_;
};

TEST_F(KeeperTest, ReportsReadyOnlyOnceItOwnsTheClipboard) {
    SelectionClient client(server_.display());
    ASSERT_EQ(client.ClipboardOwner(), XCB_WINDOW_NONE);
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    EXPECT_NE(client.ClipboardOwner(), XCB_WINDOW_NONE);
}

TEST_F(KeeperTest, EndsQuietlyWhenTheProgramEndsWithoutAPassword) {
    SelectionClient previous(server_.display());
    previous.TakeClipboard();
    KeeperProcess keeper(kKeeper);
    ASSERT_EQ(keeper.ReadLine(), "READY");
    keeper.CloseInput();
    EXPECT_EQ(keeper.ReadLine(), "") << "no further status line";
    EXPECT_EQ(keeper.WaitForExit(), 0);
    EXPECT_EQ(previous.ClipboardOwner(), previous.window());
}

// The program is killed while it writes the password: the keeper sees the end of its input
// before the announced length, and the clipboard must stay as it was.
TEST_F(KeeperTest, LeavesTheClipboardAloneWhenTheProgramDiesMidHandOff) {
    const std::string password = MixedText(98184);
    const struct {
        const char* what;
        std::string written;
    } cases[] = {
        {"after the length", std::to_string(password.size()) + "\n"},
        {"after a pipe's worth of the text",
         std::to_string(password.size()) + "\n" + password.substr(0, 65536)},
        {"one byte short",
         std::to_string(password.size()) + "\n" + password.substr(0, password.size() - 1)},
    };
    SelectionClient previous(server_.display());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        previous.TakeClipboard();
        KeeperProcess keeper(kKeeper);
        ASSERT_EQ(keeper.ReadLine(), "READY");
        // A program of its own, which writes part of the hand-off and is killed.
        const pid_t program = fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            keeper.Write(c.written);
            raise(SIGKILL);
        }
        keeper.CloseInput();  // the killed program held the only other write end
        int status = 0;
        ASSERT_EQ(waitpid(program, &status, 0), program);
        ASSERT_TRUE(WIFSIGNALED(status));

        EXPECT_EQ(keeper.ReadLine(), "ERR Text unvollständig");
        EXPECT_EQ(keeper.WaitForExit(), 1);
        EXPECT_EQ(previous.ClipboardOwner(), previous.window());
    }
}

TEST_F(KeeperTest, EndsCleanlyOnTerminationSignalsAndReleasesTheClipboard) {
    SelectionClient client(server_.display());
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        KeeperProcess keeper(kKeeper, "pw");
        ASSERT_EQ(keeper.status(), "OK");
        ASSERT_NE(client.ClipboardOwner(), XCB_WINDOW_NONE);
        ASSERT_EQ(kill(keeper.pid(), number), 0);
        EXPECT_EQ(keeper.WaitForExit(), 0) << "signal " << number;
        // The owner was the keeper's window: it went with the keeper.
        EXPECT_TRUE(client.WaitUntilClipboardHasNoOwner()) << "signal " << number;
    }
}

TEST_F(KeeperTest, AnswersEveryTextTargetWithTheExactBytes) {
    struct Case {
        std::string utf8;
        bool latin1;
        std::string latin1Bytes;
    };
    const Case cases[] = {
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xC3\xBF\x7F\x1F!",
         true,
         "Gr\xFC\xDF"
         "e \xFF\x7F\x1F!"},
        {"5 \xE2\x82\xAC", false, ""},
        {"\xF0\x9F\x99\x82x", false, ""},
        {"\xC2\x80\xC2\xA0", true, "\x80\xA0"},
        {"\xC3\xBF\xC4\x80", false, ""},  // U+0100, the first character beyond Latin-1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        KeeperProcess keeper(kKeeper, c.utf8);
        ASSERT_EQ(keeper.status(), "OK");
        SelectionClient client(server_.display());

        std::set<std::string> targets;
        const Pasted list = client.Paste("TARGETS");
        ASSERT_FALSE(list.refused);
        EXPECT_EQ(list.type, "ATOM");
        for (const std::uint32_t atom : SelectionClient::Numbers(list)) {
            targets.insert(client.AtomName(atom));
        }
        std::set<std::string> expected = {"TARGETS",
                                          "TIMESTAMP",
                                          "MULTIPLE",
                                          "UTF8_STRING",
                                          "text/plain;charset=utf-8",
                                          "TEXT",
                                          "x-kde-passwordManagerHint"};
        if (c.latin1) {
            expected.insert("STRING");
        }
        EXPECT_EQ(targets, expected);

        for (const auto& [target, type] :
             {std::pair<std::string, std::string>{"UTF8_STRING", "UTF8_STRING"},
              {"text/plain;charset=utf-8", "text/plain;charset=utf-8"},
              {"TEXT", "UTF8_STRING"}}) {
            const Pasted text = client.Paste(target);
            ASSERT_FALSE(text.refused) << target;
            EXPECT_EQ(text.type, type) << target;
            EXPECT_EQ(text.format, 8) << target;
            EXPECT_EQ(text.data, c.utf8) << target;
        }

        const Pasted latin1 = client.Paste("STRING");
        EXPECT_EQ(latin1.refused, !c.latin1);
        if (c.latin1) {
            EXPECT_EQ(latin1.type, "STRING");
            EXPECT_EQ(latin1.data, c.latin1Bytes);
        }

        const Pasted hint = client.Paste("x-kde-passwordManagerHint");
        ASSERT_FALSE(hint.refused);
        EXPECT_EQ(hint.data, "secret");
    }
}

TEST_F(KeeperTest, RefusesTargetsItDoesNotOffer) {
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    SelectionClient client(server_.display());
    // MULTIPLE without a list of pairs in its property asks for nothing that can be given.
    for (const char* target : {"image/png", "MULTIPLE", "text/html", "COMPOUND_TEXT", "DELETE"}) {
        EXPECT_TRUE(client.Paste(target).refused) << target;
    }
    // Still serving after all those refusals.
    EXPECT_EQ(client.Paste("UTF8_STRING").data, "pw");
}

TEST_F(KeeperTest, AnswersEachPairOfAMultipleRequestOrMarksItRefused) {
    const std::string text =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
    ASSERT_NO_FATAL_FAILURE(Hold(text));
    SelectionClient client(server_.display());
    const xcb_atom_t list = client.Atom("QUIRLOMAT_TEST_PAIRS");
    const struct {
        const char* target;
        const char* property;
        bool answered;
    } pairs[] = {
        {"UTF8_STRING", "QUIRLOMAT_TEST_A", true}, {"image/png", "QUIRLOMAT_TEST_B", false},
        {"STRING", "QUIRLOMAT_TEST_C", true},      {"MULTIPLE", "QUIRLOMAT_TEST_D", false},
        {"TARGETS", "QUIRLOMAT_TEST_E", true},     {"TEXT", "None", false},
    };
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(2 * std::size(pairs));
    for (const auto& pair : pairs) {
        atoms.push_back(client.Atom(pair.target));
        atoms.push_back(std::string(pair.property) == "None" ? xcb_atom_t{XCB_ATOM_NONE}
                                                             : client.Atom(pair.property));
    }
    client.SetAtoms(list, client.Atom("ATOM_PAIR"), atoms);
    client.RequestOn(client.window(), "MULTIPLE", list);
    const Pasted answer = client.Receive();
    ASSERT_FALSE(answer.refused);
    EXPECT_EQ(answer.type, "ATOM_PAIR");
    const std::vector<std::uint32_t> written = SelectionClient::Numbers(answer);
    ASSERT_EQ(written.size(), atoms.size());
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        SCOPED_TRACE(pairs[i].target);
        EXPECT_EQ(written[2 * i], atoms[2 * i]) << "the targets stay as they were";
        EXPECT_EQ(written[2 * i + 1],
                  pairs[i].answered ? atoms[2 * i + 1] : xcb_atom_t{XCB_ATOM_NONE});
    }
    EXPECT_EQ(client.ReadProperty(client.window(), atoms[1]).data, text);
    EXPECT_EQ(client.ReadProperty(client.window(), atoms[5]).data,
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(client.ReadProperty(client.window(), atoms[9]).type, "ATOM");
    EXPECT_EQ(client.ReadProperty(client.window(), atoms[3]).type, "None") << "nothing written";
}

TEST_F(KeeperTest, IgnoresSelectionEventsThatOtherClientsMakeUp) {
    const std::string text = MixedText(std::size_t{200} * 1024);
    ASSERT_NO_FATAL_FAILURE(Hold(text));
    SelectionClient forger(server_.display());
    const xcb_window_t owner = forger.ClipboardOwner();

    // "You have lost the clipboard", which only the server may say.
    xcb_selection_clear_event_t clear{};
    clear.response_type = XCB_SELECTION_CLEAR;
    clear.owner = owner;
    clear.selection = forger.Atom("CLIPBOARD");
    forger.SendToOwner(&clear);
    // Requests naming windows that do not exist, which a real request cannot: each would
    // take a transfer's place until it stalled.
    for (std::uint32_t i = 0; i < 32; ++i) {
        xcb_selection_request_event_t request{};
        request.response_type = XCB_SELECTION_REQUEST;
        request.owner = owner;
        request.requestor = 0x7FFF0000 + i;
        request.selection = clear.selection;
        request.target = forger.Atom("UTF8_STRING");
        request.property = forger.Atom("QUIRLOMAT_TEST_PASTE");
        forger.SendToOwner(&request);
    }

    SelectionClient client(server_.display());
    EXPECT_EQ(client.ClipboardOwner(), owner);
    const Pasted pasted = client.Paste("UTF8_STRING");
    EXPECT_TRUE(pasted.incremental);
    EXPECT_TRUE(pasted.data == text) << pasted.data.size();
}

TEST_F(KeeperTest, ServesEveryoneElseWhileOneClientStallsItsTransfers) {
    const std::string text = MixedText(std::size_t{200} * 1024);
    ASSERT_NO_FATAL_FAILURE(Hold(text));
    // One client starts far more large pastes than any bridge needs, and reads none.
    SelectionClient staller(server_.display());
    constexpr std::size_t kAsked = 300;
    for (std::size_t i = 0; i < kAsked; ++i) {
        staller.StartOnNewWindow("UTF8_STRING");
    }
    staller.Sync();

    SelectionClient client(server_.display());
    const Pasted pasted = client.Paste("UTF8_STRING");
    ASSERT_FALSE(pasted.refused);
    EXPECT_TRUE(pasted.data == text) << pasted.data.size();
    // The keeper answered the staller's requests before the later paste's.
    staller.Sync();
    staller.ServeBridged(/*readChunks=*/false, 0);
    std::size_t started = 0;
    std::size_t refused = 0;
    for (const auto& paste : staller.bridged()) {
        started += paste.pasted.incremental ? 1 : 0;
        refused += paste.pasted.refused ? 1 : 0;
    }
    EXPECT_GE(started, 1U);
    EXPECT_GT(refused, 0U) << "one client may not hold requests without bound";
    EXPECT_LT(started + refused, kAsked) << "requests beyond its transfers wait, unrefused";
}

// A keeper that holds a text of its own, and a reader in the middle of an INCR transfer of
// it: the reader has asked for UTF8_STRING and taken the first chunk.
class KeeperTransferTest : public KeeperTest {
protected:
    void StartTransfer(std::size_t bytes) {
        text_ = MixedText(bytes);
        ASSERT_NO_FATAL_FAILURE(Hold(text_));
        reader_.emplace(server_.display());
        reader_->Request("UTF8_STRING");
        pasted_ = reader_->Receive();
        ASSERT_TRUE(pasted_.incremental);
        ASSERT_TRUE(reader_->ReceiveChunk(&pasted_));
    }
    // Only after StartTransfer().
    SelectionClient& reader() {
        if (!reader_) {
            std::abort();
        }
        return *reader_;
    }

    std::string text_;
    std::optional<SelectionClient> reader_;
    Pasted pasted_;
};

TEST_F(KeeperTransferTest, FinishesWhenTheClipboardChangesHandsDuringIt) {
    // Two chunks and the final empty one; the last must reach the reader although the keeper
    // leaves right after sending it.
    ASSERT_NO_FATAL_FAILURE(StartTransfer(std::size_t{100} * 1024));
    SelectionClient other(server_.display());
    other.TakeClipboard();
    while (reader().ReceiveChunk(&pasted_)) {
    }
    EXPECT_TRUE(pasted_.data == text_) << pasted_.data.size();
    EXPECT_EQ(keeper().WaitForExit(), 0);
}

TEST_F(KeeperTransferTest, KeepsServingWhenTheReaderVanishesMidTransfer) {
    ASSERT_NO_FATAL_FAILURE(StartTransfer(std::size_t{300} * 1024));
    reader_.reset();
    SelectionClient client(server_.display());
    EXPECT_TRUE(client.Paste("UTF8_STRING").data == text_);
}

TEST_F(KeeperTest, AnswersOnlyRequestsFromItsOwnershipOn) {
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    SelectionClient client(server_.display());
    const Pasted stamp = client.Paste("TIMESTAMP");
    ASSERT_FALSE(stamp.refused);
    EXPECT_EQ(stamp.type, "INTEGER");
    const std::vector<std::uint32_t> numbers = SelectionClient::Numbers(stamp);
    ASSERT_EQ(numbers.size(), 1U);
    const xcb_timestamp_t since = numbers[0];
    ASSERT_NE(since, XCB_CURRENT_TIME);

    EXPECT_TRUE(client.Paste("UTF8_STRING", since - 1).refused);
    EXPECT_EQ(client.Paste("UTF8_STRING", since).data, "pw");
    EXPECT_EQ(client.Paste("UTF8_STRING", since + 1000).data, "pw");
}

TEST_F(KeeperTest, NamesThePropertyAfterTheTargetForObsoleteRequestors) {
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    SelectionClient client(server_.display());
    client.Request("UTF8_STRING", XCB_CURRENT_TIME, false);
    const Pasted pasted = client.Receive();
    ASSERT_FALSE(pasted.refused);
    EXPECT_EQ(pasted.data, "pw");
}

TEST_F(KeeperTest, PastesAnEmptyPasswordAsEmptyText) {
    ASSERT_NO_FATAL_FAILURE(Hold(""));
    SelectionClient client(server_.display());
    for (const char* target : {"UTF8_STRING", "STRING"}) {
        const Pasted pasted = client.Paste(target);
        ASSERT_FALSE(pasted.refused) << target;
        EXPECT_EQ(pasted.type, target);
        EXPECT_EQ(pasted.format, 8);
        EXPECT_EQ(pasted.data, "");
    }
}

TEST_F(KeeperTest, HandsLargeTextsOverInIncrementsByteExact) {
    // The longest text the window makes, 32767 three-byte letters, and the longest one taken.
    for (const std::size_t size : {std::size_t{32767} * 3, kLargestText}) {
        const std::string text = MixedText(size);
        KeeperProcess keeper(kKeeper, text);
        ASSERT_EQ(keeper.status(), "OK") << size;
        SelectionClient client(server_.display());
        const Pasted pasted = client.Paste("UTF8_STRING");
        ASSERT_FALSE(pasted.refused);
        EXPECT_TRUE(pasted.incremental);
        EXPECT_EQ(pasted.type, "UTF8_STRING");
        EXPECT_TRUE(pasted.data == text) << "pasted " << pasted.data.size() << " of " << size;
        // A compositor's bridge: twenty readers at once on one connection, each on its window.
        SelectionClient bridge(server_.display());
        for (int i = 0; i < 20; ++i) {
            bridge.StartOnNewWindow("UTF8_STRING");
        }
        ASSERT_TRUE(bridge.FinishBridged());
        for (const auto& paste : bridge.bridged()) {
            EXPECT_FALSE(paste.pasted.refused);
            EXPECT_TRUE(paste.pasted.data == text) << paste.pasted.data.size() << " of " << size;
        }
    }
}

TEST_F(KeeperTest, RefusesATextBeyondItsLimit) {
    KeeperProcess keeper(kKeeper, std::string(kLargestText + 1, 'x'));
    EXPECT_EQ(keeper.status().rfind("ERR ", 0), 0U) << keeper.status();
    EXPECT_NE(keeper.WaitForExit(), 0);
}

TEST_F(KeeperTest, ServesSeveralIncrementalTransfersAtOnce) {
    const std::string text = MixedText(std::size_t{300} * 1024);
    ASSERT_NO_FATAL_FAILURE(Hold(text));
    SelectionClient first(server_.display());
    SelectionClient second(server_.display());
    first.Request("UTF8_STRING");
    second.Request("text/plain;charset=utf-8");
    Pasted a = first.Receive();
    Pasted b = second.Receive();
    ASSERT_TRUE(a.incremental);
    ASSERT_TRUE(b.incremental);
    bool moreA = true;
    bool moreB = true;
    while (moreA || moreB) {
        moreA = moreA && first.ReceiveChunk(&a);
        moreB = moreB && second.ReceiveChunk(&b);
    }
    EXPECT_TRUE(a.data == text) << a.data.size();
    EXPECT_TRUE(b.data == text) << b.data.size();
}

TEST_F(KeeperTest, EndsWhenAnotherClientTakesTheClipboard) {
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    SelectionClient client(server_.display());
    client.TakeClipboard();
    EXPECT_EQ(keeper().WaitForExit(), 0);
}

TEST_F(KeeperTest, EndsWhenTheXServerGoesAway) {
    ASSERT_NO_FATAL_FAILURE(Hold("pw"));
    server_.Stop();
    EXPECT_EQ(keeper().WaitForExit(), 0);
}

TEST_F(KeeperTest, ReportsAnErrorWhenThereIsNoXServer) {
    for (const char* display : {kNoDisplay, ""}) {
        setenv("DISPLAY", display, 1);
        KeeperProcess keeper(kKeeper, "pw");
        EXPECT_EQ(keeper.status().rfind("ERR ", 0), 0U) << keeper.status();
        EXPECT_GT(keeper.status().size(), 4U);
        EXPECT_NE(keeper.WaitForExit(), 0);
    }
}

}  // namespace
}  // namespace quirlomat::testing
