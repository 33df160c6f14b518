#include "clipboard/keeper_clipboard.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <signal.h>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "clipboard/hand_off.h"
#include "runtime/errors.h"
#include "support/no_display.h"
#include "support/selection_client.h"
#include "support/xvfb_server.h"

namespace quirlomat {
namespace {

using testing::kNoDisplay;
using testing::Pasted;
using testing::SelectionClient;
using testing::XvfbServer;

const std::string kKeeper = QUIRLOMAT_TEST_KEEPER_PATH;

SecretBytes Secret(const std::string& text) {
    return SecretBytes(text.begin(), text.end());
}

// The whole of a file, read as the kernel gives /proc files: in pieces, of unknown size.
// Empty, with *error set, when it cannot be opened.
std::string ReadFile(const std::string& path, int* error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    *error = fd < 0 ? errno : 0;
    std::string content;
    char buffer[4096];
    ssize_t got = 0;
    while (fd >= 0 && (got = read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    if (fd >= 0) {
        close(fd);
    }
    return content;
}

// The children this process started and has not reaped (zombies included) whose command
// name is comm, or all of them for an empty comm.
std::vector<pid_t> Children(const std::string& comm = {}) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        int error = 0;
        const std::string stat = ReadFile(entry.path() / "stat", &error);
        // pid (comm) state ppid ...; comm may itself hold spaces and parentheses.
        const std::size_t open = stat.find('(');
        const std::size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) != 2) {
            continue;
        }
        if (parent == getpid() &&
            (comm.empty() || stat.substr(open + 1, close - open - 1) == comm)) {
            children.push_back(std::stoi(stat.substr(0, open)));
        }
    }
    return children;
}

std::vector<pid_t> KeeperChildren() {
    return Children(std::string(QUIRLOMAT_TEST_KEEPER_NAME).substr(0, 15));
}

void EndKeeper(pid_t pid) {
    (void)kill(pid, SIGTERM);
    (void)waitpid(pid, nullptr, 0);
}

std::string ReadProcFile(pid_t pid, const char* name, int* error) {
    return ReadFile("/proc/" + std::to_string(pid) + "/" + name, error);
}

TEST(KeeperPath, FindsTheKeeperBesideTheProgramInTheBuildTree) {
    const std::string bin = QUIRLOMAT_TEST_BIN_DIR;
    const std::filesystem::path keeper = std::filesystem::path(kKeeper).lexically_normal();
    for (const std::string& program :
         {bin + "/quirlomat", bin + "/./quirlomat",
          bin + "/../" + std::filesystem::path(bin).filename().string() + "/quirlomat"}) {
        EXPECT_EQ(KeeperPath(HandOff::kX11Keeper, program), keeper.string()) << program;
    }
}

class KeeperClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program does at start-up (HardenProcess): a keeper that has gone must not
        // take the test down with it.
        (void)signal(SIGPIPE, SIG_IGN);
        setenv("DISPLAY", server_.display().c_str(), 1);
    }
    void TearDown() override {
        for (const pid_t pid : KeeperChildren()) {
            EndKeeper(pid);
        }
    }

    XvfbServer server_;
};

TEST_F(KeeperClipboardTest, TheKeeperServesTheTextAfterTheClipboardObjectIsGone) {
    const std::string password = "Quirl-\xC3\xA4\xF0\x9F\x99\x82-9f3k";
    KeeperClipboard(kKeeper).SetText(Secret(password));

    SelectionClient client(server_.display());
    const Pasted pasted = client.Paste("UTF8_STRING");
    ASSERT_FALSE(pasted.refused);
    EXPECT_EQ(pasted.data, password);
}

TEST_F(KeeperClipboardTest, KeepsThePasswordOutOfTheKeepersCommandLineAndEnvironment) {
    const std::string password = "Quirl-unverwechselbar-7Hq2";
    KeeperClipboard(kKeeper).SetText(Secret(password));
    const std::vector<pid_t> keepers = KeeperChildren();
    ASSERT_EQ(keepers.size(), 1U);

    int error = 0;
    const std::string commandLine = ReadProcFile(keepers[0], "cmdline", &error);
    EXPECT_EQ(commandLine, kKeeper + '\0');
    const std::string environment = ReadProcFile(keepers[0], "environ", &error);
    if (error == 0) {
        EXPECT_EQ(environment.find(password), std::string::npos);
        EXPECT_NE(environment.find("DISPLAY=" + server_.display()), std::string::npos);
    } else {
        // A non-dumpable keeper hides its environment from other processes of the user.
        EXPECT_EQ(error, EACCES);
    }
}

std::string Script(const std::string& directory, const char* name, const char* body) {
    std::string path = directory + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    if (chmod(path.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot make " + path + " executable");
    }
    return path;
}

TEST_F(KeeperClipboardTest, FailsCleanlyWhenTheKeeperCannotServe) {
    char directory[] = "/tmp/quirlomat-keeper-test-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::unique_ptr<char, void (*)(char*)> removal(
        directory, [](char* path) { std::filesystem::remove_all(path); });
    // Stand-ins for keepers that misbehave in ways the real one only does under duress.
    const std::string silent = Script(directory, "silent", "exec sleep 600\n");
    const std::string quitter =
        Script(directory, "quitter", "echo READY\nexec 0<&-\nsleep 1\necho 'ERR Eingabe zu'\n");
    const std::string babbler = Script(directory, "babbler", "echo READY\necho Hallo\n");

    struct Case {
        const char* what;
        std::string keeper;
        std::string display;
        std::size_t textSize;
        std::string reason;  // the end of the description, where the case fixes it
    };
    const Case cases[] = {
        {"no X server", kKeeper, kNoDisplay, 2, ""},
        {"no keeper", std::string(directory) + "/missing", server_.display(), 2, ""},
        {"no answer", silent, server_.display(), 2, "das Hilfsprogramm antwortet nicht"},
        {"text beyond the keeper's limit", kKeeper, server_.display(), std::size_t{4} * 1024 * 1024,
         "Text zu lang"},
        // Writing on into the closed pipe raises SIGPIPE, which must not end this process.
        {"input closed early", quitter, server_.display(), std::size_t{4} * 1024 * 1024,
         "Eingabe zu"},
        {"an answer that is none", babbler, server_.display(), 2,
         "unverständliche Antwort des Hilfsprogramms"},
    };
    const std::string prefix = "Zwischenablage kann nicht geöffnet werden: ";
    SelectionClient owner(server_.display());
    owner.TakeClipboard();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("DISPLAY", c.display.c_str(), 1);
        try {
            KeeperClipboard(c.keeper).SetText(Secret(std::string(c.textSize, 'x')));
            ADD_FAILURE() << "SetText succeeded";
        } catch (const RunTimeError& error) {
            const std::string description = error.what();
            EXPECT_EQ(error.number(), ErrorNumber::kClipboardUnavailable);
            EXPECT_EQ(description.rfind(prefix, 0), 0U) << description;
            EXPECT_GT(description.size(), prefix.size()) << description;
            if (!c.reason.empty()) {
                EXPECT_EQ(description.substr(prefix.size()), c.reason);
            }
        }
        // Nothing left behind: every keeper started has been reaped, and the clipboard is
        // where it was.
        EXPECT_EQ(Children(), std::vector<pid_t>{server_.pid()});
        EXPECT_EQ(owner.ClipboardOwner(), owner.window());
    }
}

TEST_F(KeeperClipboardTest, APreparedKeeperThatIsNotNeededEndsAndTouchesNothing) {
    SelectionClient owner(server_.display());
    owner.TakeClipboard();
    {
        KeeperClipboard clipboard(kKeeper);
        clipboard.Prepare();
        ASSERT_EQ(KeeperChildren().size(), 1U);
    }
    // The destructor waited for the keeper: it is gone, and reaped.
    EXPECT_EQ(Children(), std::vector<pid_t>{server_.pid()});
    EXPECT_EQ(owner.ClipboardOwner(), owner.window());
}

TEST_F(KeeperClipboardTest, APreparedKeeperTakesTheTextAndOneThatDiedIsReplaced) {
    for (const bool killFirst : {false, true}) {
        SCOPED_TRACE(killFirst ? "prepared keeper killed" : "prepared keeper alive");
        KeeperClipboard clipboard(kKeeper);
        clipboard.Prepare();
        const std::vector<pid_t> prepared = KeeperChildren();
        ASSERT_EQ(prepared.size(), 1U);
        if (killFirst) {
            ASSERT_EQ(kill(prepared[0], SIGKILL), 0);
        }
        const std::string password = killFirst ? "zweiter Versuch" : "erster Versuch";
        clipboard.SetText(Secret(password));
        SelectionClient client(server_.display());
        EXPECT_EQ(client.Paste("UTF8_STRING").data, password);
        for (const pid_t pid : KeeperChildren()) {
            EndKeeper(pid);
        }
    }
}

}  // namespace
}  // namespace quirlomat
