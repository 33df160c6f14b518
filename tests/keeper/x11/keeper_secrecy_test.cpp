// What the keeper does to keep the password it holds out of other hands: no core file, no
// access for processes of the same user, confinement once it holds the password, every page
// locked into RAM, and nothing of its memory in a core that root takes with gcore.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "support/command.h"
#include "support/keeper_process.h"
#include "support/process_probe.h"
#include "support/selection_client.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {
namespace {

const std::string kKeeper = QUIRLOMAT_TEST_KEEPER_PATH;
// Unlike anything else in the keeper's memory, so that a hit is the password.
const std::string kPassword = "Vz7#qL-unverwechselbar-2Xk!pW9";

class KeeperSecrecyTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("DISPLAY", server_.display().c_str(), 1); }

    XvfbServer server_;
};

// Run by root, the test runs the keeper as another user, whose processes the kernel shows
// as dumpable or not.
std::vector<std::string> Unprivileged(const std::vector<std::string>& program) {
    std::vector<std::string> command = AsUnprivilegedUser();
    command.insert(command.end(), program.begin(), program.end());
    return command;
}

TEST_F(KeeperSecrecyTest, LeavesNoCoreFileAndKeepsOtherProcessesOut) {
    KeeperProcess keeper(Unprivileged({kKeeper}));
    ASSERT_EQ(keeper.HandOver(kPassword), "OK");
    EXPECT_EQ(CoreFileLimit(keeper.pid()), 0);
    EXPECT_EQ(ProcFile(keeper.pid(), "coredump_filter"), "00000000\n");
#if !defined(QUIRLOMAT_SANITIZED)
    EXPECT_EQ(IsDumpable(keeper.pid()), false);
#endif
    // The probe can tell: a process that did nothing about it is open to its user.
    RunningProgram plain(Unprivileged({"sleep", "60"}), "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ProcFile(plain.pid(), "comm") != "sleep\n" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(IsDumpable(plain.pid()), true);
}

// Connected to the X server but without the password, the keeper is not confined yet (the
// probe can tell); once it holds the password it runs with no new privileges behind a
// seccomp filter, and still serves.
TEST_F(KeeperSecrecyTest, IsConfinedOnceItHoldsThePassword) {
    KeeperProcess keeper(kKeeper);
    ASSERT_EQ(keeper.ReadLine(), "READY");
    EXPECT_EQ(StatusNumber(keeper.pid(), "Seccomp"), 0);
    keeper.Write(std::to_string(kPassword.size()) + "\n" + kPassword);
    keeper.CloseInput();
    ASSERT_EQ(keeper.ReadLine(), "OK");
    EXPECT_EQ(StatusNumber(keeper.pid(), "Seccomp"), 2);
    EXPECT_EQ(StatusNumber(keeper.pid(), "NoNewPrivs"), 1);
    SelectionClient client(server_.display());
    EXPECT_EQ(client.Paste("UTF8_STRING").data, kPassword);
    EXPECT_EQ(client.Paste("STRING").data, kPassword);
}

#if !defined(QUIRLOMAT_SANITIZED)
// A process that stands for one that holds a password without any protection.
pid_t UnprotectedHolder(const std::string& secret) {
    const pid_t child = fork();
    if (child == 0) {
        volatile char* copy = static_cast<char*>(std::malloc(secret.size()));
        for (std::size_t i = 0; i < secret.size(); ++i) {
            copy[i] = secret[i];
        }
        for (;;) {
            pause();
        }
    }
    return child;
}

void EndChild(pid_t pid) {
    (void)kill(pid, SIGKILL);
    (void)waitpid(pid, nullptr, 0);
}

TEST_F(KeeperSecrecyTest, LocksAllOfItsMemoryIntoRam) {
    if (getuid() != 0) {
        GTEST_SKIP() << "locking all of a process needs a memory-lock limit that only root "
                        "is sure to have";
    }
    KeeperProcess keeper(kKeeper, kPassword);
    ASSERT_EQ(keeper.status(), "OK");
    SelectionClient client(server_.display());
    ASSERT_EQ(client.Paste("UTF8_STRING").data, kPassword);
    const auto locked = StatusKiB(keeper.pid(), "VmLck");
    const auto resident = StatusKiB(keeper.pid(), "VmRSS");
    ASSERT_TRUE(locked && resident);
    EXPECT_GE(locked.value_or(0), resident.value_or(1)) << "every resident page is locked";
}

// What gcore writes is what root could read from the keeper at leisure. After a paste, the
// password has passed through memory that libxcb allocated (its output buffer), which the
// keeper cannot wipe; none of it may be in the core.
TEST_F(KeeperSecrecyTest, LeavesThePasswordOutOfACoreThatRootTakes) {
    if (getuid() != 0) {
        GTEST_SKIP() << "gcore of a process that is not dumpable needs root";
    }
    char directory[] = "/tmp/quirlomat-core-test-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::unique_ptr<char, void (*)(char*)> removal(
        directory, [](char* path) { std::filesystem::remove_all(path); });
    auto coreHolds = [&directory](pid_t pid, const std::string& text) {
        const std::string prefix = std::string(directory) + "/core";
        const CommandResult gcore =
            RunCommand({"gcore", "-o", prefix, std::to_string(pid)}, "", {}, 60000);
        EXPECT_EQ(gcore.status, 0) << gcore.err;
        std::ifstream core(prefix + "." + std::to_string(pid), std::ios::binary);
        EXPECT_TRUE(core.good()) << "gcore wrote no core";
        const std::string content((std::istreambuf_iterator<char>(core)),
                                  std::istreambuf_iterator<char>());
        // Later requests overwrite the start of a copy in libxcb's buffer, not always its end:
        // any eight bytes of the password count.
        for (std::size_t at = 0; at + 8 <= text.size(); ++at) {
            if (content.find(text.substr(at, 8)) != std::string::npos) {
                return true;
            }
        }
        return false;
    };

    KeeperProcess keeper(kKeeper, kPassword);
    ASSERT_EQ(keeper.status(), "OK");
    SelectionClient client(server_.display());
    ASSERT_EQ(client.Paste("UTF8_STRING").data, kPassword);
    ASSERT_EQ(client.Paste("STRING").data, kPassword);
    EXPECT_FALSE(coreHolds(keeper.pid(), kPassword));
    // Still serving after gcore has stopped and resumed it.
    EXPECT_EQ(client.Paste("UTF8_STRING").data, kPassword);

    // The search finds a password where one lies unprotected.
    const pid_t plain = UnprotectedHolder(kPassword);
    EXPECT_TRUE(coreHolds(plain, kPassword));
    EndChild(plain);
}
#endif

}  // namespace
}  // namespace quirlomat::testing
