#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/keeper_process.h"
#include "support/wayland_session.h"

namespace quirlomat::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Session = WaylandSession;
using ::testing::Contains;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAreArray;

// Letters beyond ASCII and Latin-1, marks a shell would trip over, a blank at the end.
const std::string kPassword = "Zw\xc3\xb6lf\xe2\x82\xac Box-K\xc3\xa4mpfer ~\\\"'`$ ";

void SleepUntil(Clock::time_point then) {
    std::this_thread::sleep_until(then);
}

class WaylandKeeperTest : public ::testing::Test {
protected:
    void Open(Session::Compositor compositor = Session::Compositor::kSway, bool xwayland = false) {
        session_ = std::make_unique<Session>(compositor, xwayland);
        keeperPath_ = session_->Stage(QUIRLOMAT_TEST_WAYLAND_KEEPER, "quirlomat-wayland-keeper");
    }

    std::unique_ptr<KeeperProcess> StartKeeper() {
        return std::make_unique<KeeperProcess>(session_->Client({keeperPath_}));
    }

    // A keeper that has taken the clipboard with text.
    std::unique_ptr<KeeperProcess> HandedOff(const std::string& text) {
        auto keeper = StartKeeper();
        EXPECT_EQ(keeper->ReadLine(), "READY");
        keeper->HandOff(text);
        EXPECT_EQ(keeper->ReadLine(), "OK");
        return keeper;
    }

    std::unique_ptr<Session> session_;
    std::string keeperPath_;
};

TEST_F(WaylandKeeperTest, ServesTheTextLongAfterTheHandOff) {
    Open();
    const auto keeper = HandedOff(kPassword);
    const Clock::time_point handedOff = Clock::now();
    for (const auto after : {std::chrono::seconds(1), std::chrono::seconds(5)}) {
        SleepUntil(handedOff + after);
        const CommandResult pasted = session_->Paste();
        EXPECT_EQ(pasted.status, 0) << pasted.err;
        EXPECT_EQ(pasted.out, kPassword) << "after " << after.count() << " s";
    }
    EXPECT_FALSE(keeper->HasEnded());
}

struct Offer {
    std::string text;
    std::optional<std::string> latin1;  // what STRING serves, when it is offered
};

void PrintTo(const Offer& offer, std::ostream* out) {
    *out << ::testing::PrintToString(offer.text);
}

class WaylandKeeperOfferTest : public WaylandKeeperTest,
                               public ::testing::WithParamInterface<Offer> {};

TEST_P(WaylandKeeperOfferTest, OffersTheTextTypesAndTheSecretHint) {
    const Offer& offer = GetParam();
    Open();
    const auto keeper = HandedOff(offer.text);
    std::vector<std::string> expected = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain",
                                         "TEXT", "x-kde-passwordManagerHint"};
    if (offer.latin1) {
        expected.emplace_back("STRING");
    }
    EXPECT_THAT(session_->PastableTypes(), UnorderedElementsAreArray(expected));
    for (const char* type : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT"}) {
        EXPECT_EQ(session_->Paste(type).out, offer.text) << type;
    }
    if (offer.latin1) {
        EXPECT_EQ(session_->Paste("STRING").out, *offer.latin1);
    }
    EXPECT_EQ(session_->Paste("x-kde-passwordManagerHint").out, "secret");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WaylandKeeperOfferTest,
    ::testing::Values(Offer{"Gr\xc3\xbc\xc3\x9f Gott \xc2\xb1", "Gr\xfc\xdf Gott \xb1"},
                      Offer{kPassword, std::nullopt},  // the euro sign has no Latin-1 form
                      Offer{"", ""}));

TEST_F(WaylandKeeperTest, AnXClientReadsTheTextAndTheHintThroughXWayland) {
    Open(Session::Compositor::kSway, /*xwayland=*/true);
    const std::string xPaste = session_->Stage(QUIRLOMAT_TEST_X_PASTE, "x-paste");
    const auto keeper = HandedOff(kPassword);
    const CommandResult text = session_->Run({xPaste, "UTF8_STRING"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, kPassword);
    EXPECT_EQ(session_->Run({xPaste, "x-kde-passwordManagerHint"}).out, "secret");
}

TEST_F(WaylandKeeperTest, EndsSoonAfterAnotherClientTakesTheClipboard) {
    Open();
    const auto keeper = HandedOff(kPassword);
    const auto copier = session_->Copy("danach");
    EXPECT_EQ(keeper->WaitForExit(2000), 0);
    EXPECT_EQ(session_->Paste().out, "danach");
}

TEST_F(WaylandKeeperTest, EndsWhenTheCompositorGoesAway) {
    Open();
    const auto keeper = HandedOff(kPassword);
    session_->Stop();
    EXPECT_EQ(keeper->WaitForExit(2000), 0);
}

class WaylandKeeperSignalTest : public WaylandKeeperTest,
                                public ::testing::WithParamInterface<int> {};

TEST_P(WaylandKeeperSignalTest, EndsOnATerminationSignalAndGivesUpTheClipboard) {
    Open();
    const auto keeper = HandedOff(kPassword);
    ASSERT_EQ(kill(keeper->pid(), GetParam()), 0);
    EXPECT_EQ(keeper->WaitForExit(2000), 0);
    const CommandResult pasted = session_->Paste();
    EXPECT_NE(pasted.status, 0) << "still on the clipboard: " << pasted.out;
}

INSTANTIATE_TEST_SUITE_P(Signals, WaylandKeeperSignalTest,
                         ::testing::Values(SIGTERM, SIGINT, SIGHUP));

struct BrokenHandOff {
    const char* name;
    std::string bytes;  // all the program writes before it closes its end
};

void PrintTo(const BrokenHandOff& handOff, std::ostream* out) {
    *out << ::testing::PrintToString(handOff.bytes);
}

class WaylandKeeperBrokenHandOffTest : public WaylandKeeperTest,
                                       public ::testing::WithParamInterface<BrokenHandOff> {};

TEST_P(WaylandKeeperBrokenHandOffTest, AnswersErrAndLeavesTheClipboardAlone) {
    Open();
    const auto before = session_->Copy("vorher");
    auto keeper = StartKeeper();
    ASSERT_EQ(keeper->ReadLine(), "READY");
    keeper->Write(GetParam().bytes);
    keeper->CloseInput();
    EXPECT_THAT(keeper->ReadLine(), StartsWith("ERR "));
    EXPECT_EQ(keeper->WaitForExit(5000), 1);
    EXPECT_EQ(session_->Paste().out, "vorher");
    EXPECT_FALSE(before->HasEnded());
}

INSTANTIATE_TEST_SUITE_P(
    HandOffs, WaylandKeeperBrokenHandOffTest,
    ::testing::Values(BrokenHandOff{"Short", "10\nabc"}, BrokenHandOff{"NoText", "6\n"},
                      BrokenHandOff{"NoNewline", "12"}, BrokenHandOff{"NotANumber", "zwei\nab"},
                      BrokenHandOff{"Signed", "+2\nab"}, BrokenHandOff{"EmptyHeader", "\nab"},
                      BrokenHandOff{"OverTheLimit", "1048577\n"},
                      BrokenHandOff{"FarOverTheLimit", "99999999999999999999\n"}),
    [](const ::testing::TestParamInfo<BrokenHandOff>& handOff) { return handOff.param.name; });

TEST_F(WaylandKeeperTest, LeavesQuietlyWhenTheProgramNeedsItNoLonger) {
    Open();
    const auto before = session_->Copy("vorher");
    auto keeper = StartKeeper();
    ASSERT_EQ(keeper->ReadLine(), "READY");
    keeper->CloseInput();
    EXPECT_EQ(keeper->ReadRest(), "");
    EXPECT_EQ(keeper->WaitForExit(5000), 0);
    EXPECT_EQ(session_->Paste().out, "vorher");
}

TEST_F(WaylandKeeperTest, ServesATextLargerThanAPipeWhole) {
    Open();
    std::mt19937 random(9);
    std::string text(std::size_t{900} * 1024, ' ');
    std::generate(text.begin(), text.end(),
                  [&random] { return static_cast<char>('!' + random() % 94); });
    const auto keeper = HandedOff(text);
    const CommandResult pasted = session_->Paste();
    EXPECT_EQ(pasted.out.size(), text.size());
    EXPECT_TRUE(pasted.out == text);
}

TEST_F(WaylandKeeperTest, ReportsACompositorWithoutDataControl) {
    Open(Session::Compositor::kWeston);
    auto keeper = StartKeeper();
    EXPECT_EQ(keeper->ReadLine(), "ERR Wayland-Compositor ohne Datenkontroll-Protokoll");
    EXPECT_EQ(keeper->WaitForExit(5000), 1);
}

// Larger than a pipe holds unless the keeper enlarges it, as 32767 "€" from the key letters
// would be.
std::string LargeText() {
    std::mt19937 random(15);
    std::string text(std::size_t{100} * 1024, ' ');
    std::generate(text.begin(), text.end(),
                  [&random] { return static_cast<char>('!' + random() % 94); });
    return text;
}

std::string Fnv1a(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char line[64];
    std::snprintf(line, sizeof line, "%zu %016llx", text.size(),
                  static_cast<unsigned long long>(hash));
    return line;
}

// Clients of the same desktop that try to hold the keeper up, each with a hostile-reader.
class HostileReaderTest : public WaylandKeeperTest {
protected:
    // The reader's attack, under way in the background until its end.
    std::future<CommandResult> Attack(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {
            session_->Stage(QUIRLOMAT_TEST_HOSTILE_READER, "hostile-reader")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        auto attack = std::async(std::launch::async,
                                 [this, argv] { return session_->Run(argv, {}, 90'000); });
        // Time for its requests to reach the keeper; should they come later, the pastes
        // below are checked all the same.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return attack;
    }

    // Another client's paste, which must come whole and at once while the attack lasts.
    void ExpectOtherPastesWhole(const std::string& text) {
        for (int i = 0; i < 3; ++i) {
            const CommandResult pasted = session_->Run({"wl-paste", "--no-newline"}, {}, 1000);
            EXPECT_EQ(pasted.status, 0) << "paste " << i << " took more than 1 s: " << pasted.err;
            EXPECT_EQ(pasted.out.size(), text.size()) << "paste " << i;
            EXPECT_TRUE(pasted.out == text) << "paste " << i;
        }
    }
};

// The reader fills its own pipe, makes it blocking and keeps it so, then reads slowly: a
// keeper that trusted O_NONBLOCK would block in write() and serve nobody.
TEST_F(HostileReaderTest, APipeMadeBlockingHoldsUpNoOtherPaste) {
    Open();
    const std::string text = LargeText();
    const auto keeper = HandedOff(text);
    auto attack = Attack({"fill-and-block", "text/plain;charset=utf-8", "3000"});
    ExpectOtherPastesWhole(text);
    const CommandResult attacker = attack.get();
    EXPECT_EQ(attacker.status, 0) << attacker.err;
    EXPECT_EQ(attacker.out.size(), text.size());
    EXPECT_TRUE(attacker.out == text) << "the slow reader got a cut text";
    EXPECT_FALSE(keeper->HasEnded());
}

enum class Ending : std::uint8_t { kAnotherClientCopies, kTerminationSignal, kCompositorGoes };

class HostileReaderEndingTest : public HostileReaderTest,
                                public ::testing::WithParamInterface<Ending> {};

TEST_P(HostileReaderEndingTest, AStalledReaderDoesNotKeepTheKeeperAlive) {
    Open();
    const std::string text = LargeText();
    auto keeper = HandedOff(text);
    auto attack = Attack({"fill-and-block", "text/plain;charset=utf-8", "3000"});
    std::unique_ptr<RunningProgram> copier;
    switch (GetParam()) {
        case Ending::kAnotherClientCopies:
            copier = session_->Copy("danach");
            break;
        case Ending::kTerminationSignal:
            ASSERT_EQ(kill(keeper->pid(), SIGTERM), 0);
            break;
        case Ending::kCompositorGoes:
            session_->Stop();
            break;
    }
    EXPECT_EQ(keeper->WaitForExit(2000), 0);
    const CommandResult attacker = attack.get();
    // What it got is the text as far as it went, never anything else.
    EXPECT_LE(attacker.out.size(), text.size());
    EXPECT_EQ(text.compare(0, attacker.out.size(), attacker.out), 0);
}

INSTANTIATE_TEST_SUITE_P(Endings, HostileReaderEndingTest,
                         ::testing::Values(Ending::kAnotherClientCopies, Ending::kTerminationSignal,
                                           Ending::kCompositorGoes),
                         [](const ::testing::TestParamInfo<Ending>& ending) {
                             switch (ending.param) {
                                 case Ending::kAnotherClientCopies:
                                     return "AnotherClientCopies";
                                 case Ending::kTerminationSignal:
                                     return "TerminationSignal";
                                 case Ending::kCompositorGoes:
                                     break;
                             }
                             return "CompositorGoes";
                         });

struct Hoard {
    int transfers;
    int holdMs;
};

class HostileReaderHoardTest : public HostileReaderTest,
                               public ::testing::WithParamInterface<Hoard> {};

// Transfers through sockets with the smallest send buffer, which the keeper cannot enlarge,
// left unread: no other paste comes back empty or late, and no held transfer is cut while the
// keeper owns the selection, however long it waits (formerly 10 s).
TEST_P(HostileReaderHoardTest, HeldTransfersStarveNoPasteAndAreNotCut) {
    const Hoard& hoard = GetParam();
    Open();
    const std::string text = LargeText();
    const auto keeper = HandedOff(text);
    auto attack = Attack({"hoard", std::to_string(hoard.transfers), "text/plain;charset=utf-8",
                          std::to_string(hoard.holdMs)});
    ExpectOtherPastesWhole(text);
    const CommandResult attacker = attack.get();
    ASSERT_EQ(attacker.status, 0) << attacker.err;
    std::istringstream lines(attacker.out);
    int whole = 0;
    int reported = 0;
    for (std::string line; std::getline(lines, line); ++reported) {
        whole += line == Fnv1a(text) ? 1 : 0;
    }
    EXPECT_EQ(reported, hoard.transfers);
    // Beyond the keeper's table the transfers waiting longest are given up for the newer.
    EXPECT_EQ(whole, std::min(hoard.transfers, 128));
    EXPECT_FALSE(keeper->HasEnded());
}

INSTANTIATE_TEST_SUITE_P(Hoards, HostileReaderHoardTest,
                         ::testing::Values(Hoard{1, 11'000}, Hoard{40, 3000}, Hoard{140, 3000}),
                         [](const ::testing::TestParamInfo<Hoard>& hoard) {
                             return std::to_string(hoard.param.transfers) + "HeldFor" +
                                    std::to_string(hoard.param.holdMs) + "Ms";
                         });

std::string ProcFile(pid_t pid, const std::string& name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Link(pid_t pid, const std::string& name) {
    std::string target(4096, '\0');
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    target.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return target;
}

TEST_F(WaylandKeeperTest, HoldsTheTextAsASecretInADetachedProcess) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "a non-dumpable process can be inspected by root only";
    }
    Open();
    const auto keeper = HandedOff(kPassword);
    const pid_t pid = keeper->pid();

    EXPECT_EQ(getsid(pid), pid);
    // The keeper detaches right after its "OK"; standard error is the last of its streams
    // to go to /dev/null (its directory went before, as it confined itself).
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (Link(pid, "fd/2") != "/dev/null" && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(Link(pid, "cwd"), "/");
    for (const char* fd : {"fd/0", "fd/1", "fd/2"}) {
        EXPECT_EQ(Link(pid, fd), "/dev/null") << fd;
    }
    EXPECT_THAT(ProcFile(pid, "limits"), ::testing::ContainsRegex("Max core file size +0 +0 "));
#if !defined(QUIRLOMAT_SANITIZED)
    // Locked pages: the text and its Latin-1 form in libsodium's guarded memory. (The
    // sanitizers turn mlock into nothing, lest it lock their shadow memory.)
    EXPECT_THAT(ProcFile(pid, "status"), Not(::testing::ContainsRegex("VmLck:\\s+0 kB")));
    // The kernel hands the /proc files of a process that is not dumpable to root; the
    // keeper itself runs as the session's user.
    struct stat status = {};
    ASSERT_EQ(stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0U);
#endif
}

// Connected to the compositor but without the password, the keeper is not confined yet (the
// probe can tell); once it holds the password it runs with no new privileges behind a
// seccomp filter, and still serves.
TEST_F(WaylandKeeperTest, IsConfinedOnceItHoldsThePassword) {
    Open();
    auto keeper = StartKeeper();
    ASSERT_EQ(keeper->ReadLine(), "READY");
    EXPECT_THAT(ProcFile(keeper->pid(), "status"), ::testing::ContainsRegex("\nSeccomp:\\s+0\n"));
    keeper->HandOff(kPassword);
    ASSERT_EQ(keeper->ReadLine(), "OK");
    const std::string status = ProcFile(keeper->pid(), "status");
    EXPECT_THAT(status, ::testing::ContainsRegex("\nSeccomp:\\s+2\n"));
    EXPECT_THAT(status, ::testing::ContainsRegex("\nNoNewPrivs:\\s+1\n"));
    for (const char* type : {"text/plain;charset=utf-8", "TEXT"}) {
        EXPECT_EQ(session_->Paste(type).out, kPassword) << type;
    }
}

}  // namespace
}  // namespace quirlomat::testing
