// The real program as a user meets it: an X server with a window manager, key presses and
// clicks from outside (xdotool), and the clipboard read by another program (xclip) after the
// program has ended.

#include <chrono>
#include <cstdlib>
#include <iconv.h>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "generator/standard_key_letters.h"
#include "support/command.h"
#include "support/process_probe.h"
#include "support/window_manager.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {
namespace {

constexpr char kTitle[] = "ZANDOs Quirlomat";

// The program under test: the build's own, or another (an unpacked package, say) named by
// QUIRLOMAT_E2E_PROGRAM.
std::string ProgramPath() {
    const char* other = std::getenv("QUIRLOMAT_E2E_PROGRAM");
    return other != nullptr && *other != '\0' ? other : QUIRLOMAT_E2E_DEFAULT_PROGRAM;
}

std::u32string DecodeUtf8(const std::string& bytes) {
    std::u32string text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        auto c = static_cast<char32_t>(length == 1 ? lead : lead & (0x7F >> length));
        for (std::size_t k = 1; k < length && i + k < bytes.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        }
        text.push_back(c);
        i += length;
    }
    return text;
}

// Whether c is what a single-byte code from 31 to 255 becomes in Windows-1252, asked of the
// C library's own converter rather than of a table of ours. The five codes that Windows-1252
// leaves undefined stand for the C1 control of the same number, as on Windows.
bool IsWindows1252CodeFrom31(char32_t c) {
    if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
        return true;
    }
    static const iconv_t converter = iconv_open("WINDOWS-1252", "UTF-32LE");
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                  static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 24) & 0xFF)};
    char out[4] = {};
    char* inPointer = in;
    char* outPointer = out;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    (void)iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) ==
            static_cast<std::size_t>(-1) ||
        outLeft != sizeof out - 1) {
        return false;
    }
    return static_cast<unsigned char>(out[0]) >= 31;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<XvfbServer>();
        windowManager_ = StartOpenbox(display());
        ASSERT_NE(windowManager_, nullptr) << "openbox did not start";
    }

    void TearDown() override {
        program_.reset();
        windowManager_.reset();
        server_.reset();
    }

    const std::string& display() const { return server_->display(); }

    CommandResult Run(const std::vector<std::string>& argv, const std::string& input = {}) {
        return RunCommand(argv, display(), input);
    }

    // The first visible window titled exactly title, looked for until the deadline; empty
    // when none appeared. Each look is a search of its own, bounded, where xdotool's own
    // waiting (search --sync) has no deadline.
    std::string FindWindow(const std::string& title) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (;;) {
            const CommandResult search =
                RunCommand({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"},
                           display(), {}, 5000);
            if (search.status == 0 && !search.out.empty()) {
                return search.out.substr(0, search.out.find('\n'));
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    // Starts the program (behind prefix, a command that runs it) and waits for its window to
    // be mapped and active; its id.
    std::string Start(std::vector<std::string> prefix = {}) {
        prefix.push_back(ProgramPath());
        program_ = std::make_unique<RunningProgram>(prefix, display());
        std::string window = FindWindow(kTitle);
        EXPECT_FALSE(window.empty())
            << "the dialog did not appear: " << program_->Stderr()
            << (program_->HasEnded() ? "the program has ended\n" : DescribeThreads(program_->pid()))
            << "openbox:\n"
            << (windowManager_->HasEnded() ? "ended\n" : DescribeThreads(windowManager_->pid()))
            << Run({"xwininfo", "-root", "-tree"}).out;
        EXPECT_EQ(Run({"xdotool", "windowactivate", "--sync", window}).status, 0);
        return window;
    }

    void Keys(const std::vector<std::string>& keys) {
        std::vector<std::string> argv = {"xdotool", "key", "--delay", "30"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        ASSERT_EQ(Run(argv).status, 0);
    }

    void Type(const std::string& text) {
        ASSERT_EQ(Run({"xdotool", "type", "--delay", "30", text}).status, 0);
    }

    void SetClipboard(const std::string& text) {
        // xclip stays behind to serve the text; its streams must not hold our pipes open.
        ASSERT_EQ(Run({"sh", "-c", "xclip -selection clipboard -i >/dev/null 2>&1"}, text).status,
                  0);
    }

    CommandResult Paste(const std::string& target = "UTF8_STRING") {
        return Run({"xclip", "-o", "-selection", "clipboard", "-t", target});
    }

    // The program must end by itself, with status 0.
    void ExpectEnded() { ASSERT_EQ(program_->WaitForExit(), 0) << program_->Stderr(); }

    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<RunningProgram> windowManager_;
    std::unique_ptr<RunningProgram> program_;
};

TEST_F(EndToEnd, EnterPutsAStandardPasswordOnTheClipboardThatOutlivesTheProgram) {
    std::string previous;
    for (int run = 0; run < 2; ++run) {
        Start();
        // What the key-letters box holds, as the user would copy it out of the window.
        Keys({"Tab", "Tab", "Tab", "ctrl+a", "ctrl+c"});
        const std::string letters = Paste().out;
        EXPECT_EQ(letters.size(), 80U) << letters;
        EXPECT_EQ(letters.find(' '), std::string::npos) << letters;
        Keys({"Return"});
        ExpectEnded();

        const CommandResult pasted = Paste();
        ASSERT_EQ(pasted.status, 0) << pasted.err;
        ASSERT_EQ(pasted.out.size(), 63U) << pasted.out;
        EXPECT_EQ(pasted.out.find_first_not_of(letters), std::string::npos) << pasted.out;
        EXPECT_NE(pasted.out, previous) << "two runs gave the same password";
        previous = pasted.out;
    }

    // Marked as secret for clipboard managers.
    EXPECT_NE(Paste("TARGETS").out.find("x-kde-passwordManagerHint"), std::string::npos);
    EXPECT_EQ(Paste("x-kde-passwordManagerHint").out, "secret");
}

// Qt picks its theme once, at start, by the desktop the session names; some themes (GNOME's,
// and with it Xfce's and the other GTK-based desktops') make Enter a key that presses buttons
// and check boxes. Each desktop and each control gets a run of its own, since Enter ends the
// program. The password shows whether the box was left ticked (key letters) or Space
// unticked it (character codes: never 63 bytes of standard key letters).
TEST_F(EndToEnd, EnterPressesErstellenFromEveryControlUnderEveryDesktopsTheme) {
    const std::vector<std::vector<std::string>> desktops = {
        {},
        {"XDG_CURRENT_DESKTOP=GNOME"},
        {"XDG_CURRENT_DESKTOP=XFCE"},
        {"XDG_CURRENT_DESKTOP=KDE", "KDE_SESSION_VERSION=5"},
        {"XDG_CURRENT_DESKTOP=LXQt"},
        {"XDG_CURRENT_DESKTOP=Pantheon"},  // GTK-based from Qt 6.8 on
    };
    const struct {
        std::vector<std::string> keys;
        bool ticked;
    } presses[] = {
        {{"Return"}, true},
        {{"Tab", "Return"}, true},
        {{"Tab", "Tab", "Return"}, true},
        {{"Tab", "Tab", "KP_Enter"}, true},
        {{"Tab", "Tab", "Tab", "Return"}, true},
        {{"Tab", "Tab", "space", "Return"}, false},
    };
    const std::string standard(StandardKeyLetters.begin(), StandardKeyLetters.end());
    for (const std::vector<std::string>& desktop : desktops) {
        for (const auto& press : presses) {
            std::string what = desktop.empty() ? "no desktop" : desktop.front();
            for (const std::string& key : press.keys) {
                what += " " + key;
            }
            SCOPED_TRACE(what);
            // Whatever names this session's desktop must not choose the theme.
            std::vector<std::string> prefix = {"env"};
            for (const char* name :
                 {"XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                  "DESKTOP_SESSION", "KDE_SESSION_VERSION", "QT_QPA_PLATFORMTHEME"}) {
                prefix.insert(prefix.end(), {"-u", name});
            }
            prefix.insert(prefix.end(), desktop.begin(), desktop.end());
            SetClipboard("vorher");
            Start(prefix);
            Keys(press.keys);
            ExpectEnded();
            const std::string pasted = Paste().out;
            EXPECT_EQ(
                pasted.size() == 63 && pasted.find_first_not_of(standard) == std::string::npos,
                press.ticked)
                << pasted;
        }
    }
}

TEST_F(EndToEnd, AClickOnErstellenDoesTheSame) {
    const std::string window = Start();
    // The button's middle, in the window's own coordinates.
    ASSERT_EQ(Run({"xdotool", "mousemove", "--window", window, "172", "20", "click", "1"}).status,
              0);
    ExpectEnded();
    EXPECT_EQ(Paste().out.size(), 63U);
}

TEST_F(EndToEnd, LengthZeroGivesAnEmptyTextNotAnEmptyClipboard) {
    SetClipboard("vorher");
    Start();
    Keys({"Tab", "ctrl+a"});
    Type("0");
    Keys({"Return"});
    ExpectEnded();
    const CommandResult pasted = Paste();
    EXPECT_EQ(pasted.status, 0) << pasted.err;
    EXPECT_EQ(pasted.out, "");
    EXPECT_NE(Paste("TARGETS").out.find("UTF8_STRING"), std::string::npos);
}

TEST_F(EndToEnd, EditedKeyLettersAreUsedAsTheyStandBlanksIncluded) {
    Start();
    Keys({"Tab", "Tab", "Tab", "ctrl+a"});
    Type("ab c");
    Keys({"Return"});
    ExpectEnded();
    const CommandResult pasted = Paste();
    ASSERT_EQ(pasted.out.size(), 63U);
    EXPECT_EQ(pasted.out.find_first_not_of("ab c"), std::string::npos) << pasted.out;
}

TEST_F(EndToEnd, UntickedBoxDrawsFromCharacterCodes31To255) {
    Start();
    Keys({"Tab", "Tab", "space", "Return"});
    ExpectEnded();
    const std::u32string password = DecodeUtf8(Paste().out);
    ASSERT_EQ(password.size(), 63U);
    std::set<char32_t> distinct;
    for (char32_t c : password) {
        EXPECT_TRUE(IsWindows1252CodeFrom31(c)) << static_cast<unsigned>(c);
        distinct.insert(c);
    }
    EXPECT_GT(distinct.size(), 20U) << "63 draws from 225 codes should rarely repeat much";
}

TEST_F(EndToEnd, EscapeClosesAndLeavesTheClipboardAlone) {
    SetClipboard("vorher");
    Start();
    Keys({"Escape"});
    ExpectEnded();
    EXPECT_EQ(Paste().out, "vorher");
}

TEST_F(EndToEnd, AnOverflowingLengthIsReportedAndTheWindowStays) {
    SetClipboard("vorher");
    Start();
    Keys({"Tab", "ctrl+a"});
    Type("32768");
    Keys({"Return"});
    const std::string reportWindow = FindWindow("Quirlomat");
    ASSERT_FALSE(reportWindow.empty()) << "no error report appeared";
    EXPECT_FALSE(program_->HasEnded());
    EXPECT_EQ(Paste().out, "vorher");

    // Dismiss the report; the dialog is still there and can be closed as usual. A key sent
    // before the window manager has given the report the focus would reach the blocked dialog
    // and be dropped, so the report is activated first, and its end awaited.
    ASSERT_EQ(Run({"xdotool", "windowactivate", "--sync", reportWindow}).status, 0);
    Keys({"Return"});
    bool reportGone = false;
    for (int attempt = 0; attempt < 200 && !reportGone; ++attempt) {
        reportGone =
            Run({"xdotool", "search", "--onlyvisible", "--name", "^Quirlomat$"}).status != 0;
        if (!reportGone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(reportGone) << "the error report stayed";
    const std::string dialog = FindWindow(kTitle);
    ASSERT_FALSE(dialog.empty());
    EXPECT_FALSE(program_->HasEnded());
    ASSERT_EQ(Run({"xdotool", "windowactivate", "--sync", dialog}).status, 0);
    Keys({"Escape"});
    ExpectEnded();
    EXPECT_EQ(Paste().out, "vorher");
}

TEST_F(EndToEnd, TheWindowStaysOffTheTaskbarAndCannotBeResized) {
    const std::string window = Start();
    const CommandResult state = Run({"xprop", "-id", window, "_NET_WM_STATE", "WM_NORMAL_HINTS"});
    EXPECT_NE(state.out.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state.out;
    EXPECT_NE(state.out.find("program specified minimum size: 234 by 96"), std::string::npos)
        << state.out;
    EXPECT_NE(state.out.find("program specified maximum size: 234 by 96"), std::string::npos)
        << state.out;
    Keys({"Escape"});
    ExpectEnded();
}

// Run by root, the test runs the program as another user, whose processes the kernel shows as
// dumpable or not.
TEST_F(EndToEnd, TheProgramLeavesNoCoreAndKeepsOtherProcessesOut) {
    Start(AsUnprivilegedUser());
    const pid_t pid = program_->pid();
    EXPECT_EQ(CoreFileLimit(pid), 0);
    EXPECT_EQ(ProcFile(pid, "coredump_filter"), "00000000\n");
#if !defined(QUIRLOMAT_SANITIZED)
    EXPECT_EQ(IsDumpable(pid), false);
#endif
    Keys({"Escape"});
    ExpectEnded();
}

TEST(WithoutDisplay, TheProgramSaysSoInOneLineAndFails) {
    RunningProgram program({ProgramPath()}, "");
    EXPECT_EQ(program.WaitForExit(), 1);
    const std::string err = program.Stderr();
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

}  // namespace
}  // namespace quirlomat::testing
