// Measures the program's Wayland hand-off on a sway of its own (headless, no XWayland), each
// figure side by side with wl-copy in the same run:
//   clipboard:  Enter pressed (wtype, through sway's virtual keyboard) until wl-paste reads
//               the password, against wl-copy started until wl-paste reads the same text;
//   keeper RSS: resident memory of the Wayland keeper serving the password, against the
//               resident memory of wl-copy serving it.
// Both clipboard figures include the same cost of starting wl-paste until it reads. Prints
// medians and their ratios; makes no pass/fail judgement of its own.
//
// usage: wayland_bench <quirlomat> [runs]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <signal.h>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "support/command.h"
#include "support/wayland_session.h"

namespace {

using quirlomat::testing::RunningProgram;
using quirlomat::testing::WaylandSession;
using Clock = std::chrono::steady_clock;

using quirlomat::bench::Median;
using quirlomat::bench::ResidentKiB;

[[noreturn]] void Die(const std::string& what) {
    quirlomat::bench::Die("wayland_bench", what);
}

std::optional<long> ProcessOf(const std::string& executable) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        std::error_code error;
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            std::filesystem::read_symlink(entry.path() / "exe", error) == executable && !error) {
            return std::stol(name);
        }
    }
    return std::nullopt;
}

// Reads the clipboard until it holds something other than before; what it holds then.
std::string WaitForChange(const WaylandSession& session, const std::string& before) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        std::string now = session.Paste().out;
        if (!now.empty() && now != before) {
            return now;
        }
    }
    Die("the clipboard did not change");
}

bool DialogFocused(const WaylandSession& session) {
    const std::string tree = session.Run({"swaymsg", "-t", "get_tree"}).out;
    const std::size_t at = tree.find("\"name\": \"ZANDOs Quirlomat\"");
    return at != std::string::npos &&
           tree.rfind("\"focused\": true", at) > tree.rfind("\"name\"", at - 1);
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <quirlomat> [runs]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path program(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    signal(SIGPIPE, SIG_IGN);

    WaylandSession session(WaylandSession::Compositor::kSway, /*xwayland=*/false);
    const auto libexec = program.parent_path() / ".." / "libexec" / "quirlomat";
    const std::string staged = session.Stage(program, "bin/quirlomat");
    session.Stage(libexec / "quirlomat-keeper", "libexec/quirlomat/quirlomat-keeper");
    const std::string keeper = session.Stage(libexec / "quirlomat-wayland-keeper",
                                             "libexec/quirlomat/quirlomat-wayland-keeper");

    std::vector<double> pressOurs;
    std::vector<double> pressCopy;
    std::vector<double> rssOurs;
    std::vector<double> rssCopy;
    for (int run = 0; run < runs; ++run) {
        const std::string before = session.Paste().out;
        std::string password;
        {
            RunningProgram app(session.Client({staged}), "");
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            while (!DialogFocused(session)) {
                if (Clock::now() > deadline || app.HasEnded()) {
                    Die("the dialog did not get the focus: " + app.Stderr());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // not measured
            // wtype sends the key after its pause and ends right after it: its end is the press.
            (void)session.Run({"wtype", "-s", "300", "-k", "Return"});
            const Clock::time_point pressed = Clock::now();
            password = WaitForChange(session, before);
            pressOurs.push_back(Milliseconds(Clock::now() - pressed));
            if (password.size() != 63) {
                Die("read " + std::to_string(password.size()) + " bytes instead of 63");
            }
            if (app.WaitForExit(5000) != 0) {
                Die("quirlomat did not end by itself: " + app.Stderr());
            }
        }
        if (const auto pid = ProcessOf(keeper)) {
            if (const auto rss = ResidentKiB(static_cast<pid_t>(*pid))) {
                rssOurs.push_back(static_cast<double>(*rss));
            }
        }

        const std::string text = password + "*";
        const Clock::time_point started = Clock::now();
        RunningProgram copier(session.Client({"wl-copy", "--foreground", "--", text}), "");
        if (WaitForChange(session, password) != text) {
            Die("wl-copy served something else");
        }
        pressCopy.push_back(Milliseconds(Clock::now() - started));
        if (const auto rss = ResidentKiB(copier.pid())) {
            rssCopy.push_back(static_cast<double>(*rss));
        }
    }
    if (rssOurs.empty() || rssCopy.empty()) {
        Die("could not find the processes to measure");
    }

    std::printf("%-48s %10s %10s %7s %6s\n", "measure on sway (median of runs)", "quirlomat",
                "wl-copy", "ratio", "goal");
    const double pressA = Median(pressOurs);
    const double pressB = Median(pressCopy);
    std::printf("%-48s %8.1fms %8.1fms %7.2f %6s\n", "key press until readable (vs wl-copy)",
                pressA, pressB, pressA / pressB, "<=1.5");
    const double rssA = Median(rssOurs);
    const double rssB = Median(rssCopy);
    std::printf("%-48s %8.0fKiB %7.0fKiB %7.2f %6s\n",
                "Wayland keeper resident memory (vs wl-copy)", rssA, rssB, rssA / rssB, "<=1.2");
    std::printf("(%d runs each)\n", runs);
    return 0;
}
