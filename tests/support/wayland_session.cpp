#include "support/wayland_session.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/spawn.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// A compositor comes up in well under a second; a loaded machine running sanitized tests in
// parallel, with XWayland to start as well, may take many times that.
constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr auto kStopLimit = std::chrono::seconds(10);

struct User {
    uid_t uid;
    gid_t gid;
};

User Nobody() {
    const passwd* entry = getpwnam("nobody");
    if (entry == nullptr) {
        throw std::runtime_error("WaylandSession: there is no user nobody");
    }
    return {entry->pw_uid, entry->pw_gid};
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CanConnect(const std::string& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || socketPath.size() >= sizeof address.sun_path) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    socketPath.copy(address.sun_path, socketPath.size());
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// XWayland's sockets live in /tmp/.X11-unix, which only root may create as X expects it
// (sticky, writable by all); a fresh machine may not have it yet.
void EnsureX11SocketDirectory() {
    const char* dir = "/tmp/.X11-unix";
    if (mkdir(dir, 01777) == 0) {
        (void)chmod(dir, 01777);
    }
}

}  // namespace

WaylandSession::WaylandSession(Compositor compositor, bool xwayland) : compositor_(compositor) {
    asNobody_ = geteuid() == 0;
    std::string pattern = (fs::temp_directory_path() / "quirlomat-wayland-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("WaylandSession: mkdtemp failed");
    }
    directory_ = pattern;
    (void)chmod(directory_.c_str(), 0700);
    if (asNobody_) {
        const User user = Nobody();
        if (chown(directory_.c_str(), user.uid, user.gid) != 0) {
            throw std::runtime_error("WaylandSession: cannot hand the directory to nobody");
        }
        if (xwayland) {
            EnsureX11SocketDirectory();
        }
    }

    // The sanitizers' settings reach the programs under test; a suppressions file is copied
    // along, since the session's user may not be able to read it where it is.
    passedEnvironment_ = {"LANG=C.UTF-8"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        const char* value = std::getenv(name);
        if (value == nullptr) {
            continue;
        }
        std::string options = value;
        const std::string key = "suppressions=";
        if (const std::size_t at = options.find(key); at != std::string::npos) {
            const std::size_t start = at + key.size();
            const std::size_t end = options.find(':', start);
            const std::string file = options.substr(start, end - start);
            const std::string copy = Stage(file, std::string(name) + ".supp");
            options.replace(start, file.size(), copy);
        }
        passedEnvironment_.push_back(std::string(name) + "=" + options);
    }

    try {
        switch (compositor) {
            case Compositor::kSway:
                StartSway(xwayland);
                break;
            case Compositor::kWeston:
                StartWeston(xwayland, "kiosk-shell.so");
                break;
            case Compositor::kWestonDesktop:
                StartWeston(xwayland, "desktop-shell.so");
                break;
            case Compositor::kMutter:
                StartSessionBus();
                StartMutter(xwayland);
                break;
            case Compositor::kKWin:
                StartSessionBus();
                StartKWin(xwayland);
                break;
        }
        WaitUntilUp(xwayland, compositor);
    } catch (...) {
        Stop();
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
        throw;
    }
}

WaylandSession::~WaylandSession() {
    Stop();
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
}

std::string WaylandSession::Stage(const std::string& path, const std::string& relative) {
    const fs::path target = fs::path(directory_) / relative;
    fs::create_directories(target.parent_path());
    fs::copy_file(path, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    if (asNobody_) {
        const User user = Nobody();
        for (fs::path p = target; p != fs::path(directory_); p = p.parent_path()) {
            (void)chown(p.c_str(), user.uid, user.gid);
        }
    }
    return target.string();
}

std::vector<std::string> WaylandSession::Client(
    const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment) const {
    std::vector<std::string> command;
    if (asNobody_) {
        const User user = Nobody();
        command = {"setpriv", "--reuid=" + std::to_string(user.uid),
                   "--regid=" + std::to_string(user.gid), "--clear-groups", "--"};
    }
    command.insert(command.end(),
                   {"env", "-i", "PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + directory_,
                    "XDG_RUNTIME_DIR=" + directory_, "WAYLAND_DISPLAY=" + waylandDisplay_});
    if (!xDisplay_.empty()) {
        command.push_back("DISPLAY=" + xDisplay_);
    }
    if (!xAuthority_.empty()) {
        command.push_back("XAUTHORITY=" + xAuthority_);
    }
    if (!swaySocket_.empty()) {
        command.push_back("SWAYSOCK=" + swaySocket_);
    }
    command.insert(command.end(), passedEnvironment_.begin(), passedEnvironment_.end());
    command.insert(command.end(), extraEnvironment.begin(), extraEnvironment.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

CommandResult WaylandSession::Run(const std::vector<std::string>& argv, const std::string& input,
                                  int timeoutMs) const {
    return RunCommand(Client(argv), "", input, timeoutMs);
}

CommandResult WaylandSession::Paste(const std::string& type) const {
    std::vector<std::string> argv = {"wl-paste", "--no-newline"};
    if (!type.empty()) {
        argv.insert(argv.end(), {"--type", type});
    }
    return Run(argv);
}

std::vector<std::string> WaylandSession::PastableTypes() const {
    const CommandResult listed = Run({"wl-paste", "--list-types"});
    std::vector<std::string> types;
    std::istringstream lines(listed.out);
    for (std::string line; std::getline(lines, line);) {
        types.push_back(line);
    }
    return types;
}

std::unique_ptr<RunningProgram> WaylandSession::Copy(const std::string& text) const {
    auto copier =
        std::make_unique<RunningProgram>(Client({"wl-copy", "--foreground", "--", text}), "");
    // wl-copy owns the clipboard once wl-paste reads its text. Without data-control both take
    // the keyboard focus with a surface of their own for a moment, and on Mutter a wl-paste
    // that takes it while wl-copy sets the selection makes the selection fail; there the
    // pastes leave wl-copy time.
    const auto pause = std::chrono::milliseconds(compositor_ == Compositor::kMutter ? 500 : 20);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    CommandResult pasted;
    while (Clock::now() < deadline && !copier->HasEnded()) {
        std::this_thread::sleep_for(pause);
        pasted = Paste();
        if (pasted.out == text) {
            return copier;
        }
    }
    throw std::runtime_error(
        "WaylandSession: wl-copy did not take the clipboard (wl-copy: " + copier->Stderr() +
        "; wl-paste read \"" + pasted.out + "\": " + pasted.err + ")");
}

pid_t WaylandSession::SpawnCompositor(const std::vector<std::string>& command,
                                      const std::string& log) {
    SpawnOptions options;
    options.error.path = directory_ + "/" + log;
    try {
        return Spawn(command, options);
    } catch (const std::runtime_error&) {
        throw std::runtime_error("WaylandSession: cannot start " + command.front());
    }
}

void WaylandSession::StartSway(bool xwayland) {
    // The exec line runs once sway is up, in sway's environment, which then names the
    // XWayland display; the file appears whole, by rename.
    const std::string ready = directory_ + "/ready";
    std::ofstream config(directory_ + "/config");
    config << "xwayland " << (xwayland ? "force" : "disable") << "\n"
           << "exec sh -c 'printf \"%s\\n%s\\n\" \"$WAYLAND_DISPLAY\" \"$DISPLAY\" > " << ready
           << ".part && mv " << ready << ".part " << ready << "'\n";
    config.close();
    pid_ = SpawnCompositor(Client({"sway", "--config", directory_ + "/config"},
                                  {"WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=1",
                                   "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"}));
}

void WaylandSession::StartWeston(bool xwayland, const std::string& shell) {
    // weston's headless back end has no seat, and without a seat no client can own a
    // clipboard; its X11 back end, on an X server of the session's own, has one, with a
    // keyboard that X test input reaches. That X server is weston's output only: clients of
    // the session see it nowhere.
    host_ = std::make_unique<XvfbServer>();
    std::vector<std::string> argv = {"weston",
                                     "--backend=x11-backend.so",
                                     "--shell=" + shell,
                                     "--socket=" + waylandDisplay_,
                                     "--idle-time=0",
                                     "--no-config",
                                     "--log=" + directory_ + "/compositor.log"};
    if (shell == "desktop-shell.so") {
        // The output as large as the X screen, so that the shell places windows where they
        // can be seen whole.
        argv.insert(argv.end(), {"--width=640", "--height=480"});
    }
    if (xwayland) {
        argv.emplace_back("--xwayland");
    }
    pid_ = SpawnCompositor(Client(argv, {"DISPLAY=" + host_->display()}));
}

void WaylandSession::StartSessionBus() {
    const std::string bus = directory_ + "/bus";
    busPid_ = SpawnCompositor(
        Client({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus}), "bus.err");
    const auto deadline = Clock::now() + kStartLimit;
    while (!CanConnect(bus)) {
        if (Clock::now() > deadline) {
            throw std::runtime_error("WaylandSession: the session bus did not come up:\n" +
                                     ReadFile(directory_ + "/bus.err"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    passedEnvironment_.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus);
}

// Mutter and KWin run a command once they are up, in their clients' environment, which names
// the displays; Mutter ends when that command ends, so it stays, and Stop ends it.
std::string WaylandSession::WriteReadyScript() {
    const std::string ready = directory_ + "/ready";
    const std::string script = directory_ + "/ready.sh.part";
    std::ofstream out(script);
    out << "#!/bin/sh\n"
        << "printf '%s\\n%s\\n%s\\n%s\\n' \"$WAYLAND_DISPLAY\" \"$DISPLAY\" \"$XAUTHORITY\" $$ > "
        << ready << ".part && mv " << ready << ".part " << ready << "\n"
        << "exec sleep 100000\n";
    out.close();
    std::string staged = Stage(script, "ready.sh");
    fs::remove(script);
    return staged;
}

void WaylandSession::StartMutter(bool xwayland) {
    std::vector<std::string> argv = {
        "mutter",   "--headless",        "--wayland",    "--virtual-monitor",
        "1280x800", "--wayland-display", waylandDisplay_};
    if (!xwayland) {
        argv.emplace_back("--no-x11");
    }
    argv.insert(argv.end(), {"--", WriteReadyScript()});
    pid_ = SpawnCompositor(Client(argv));
}

void WaylandSession::StartKWin(bool xwayland) {
    const std::string kwin = Stage("/usr/bin/kwin_wayland", "bin/kwin_wayland");
    std::vector<std::string> argv = {kwin, "--virtual", "--socket", waylandDisplay_};
    if (xwayland) {
        argv.emplace_back("--xwayland");
    }
    argv.push_back(WriteReadyScript());
    pid_ = SpawnCompositor(Client(argv, {"KWIN_WAYLAND_NO_PERMISSION_CHECKS=1"}));
}

void WaylandSession::WaitUntilUp(bool xwayland, Compositor compositor) {
    const auto deadline = Clock::now() + kStartLimit;
    const std::string socket = directory_ + "/" + waylandDisplay_;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("WaylandSession: the compositor ended at start:\n" +
                                     ReadFile(directory_ + "/compositor.err") +
                                     ReadFile(directory_ + "/compositor.log"));
        }
        if (compositor != Compositor::kWeston && compositor != Compositor::kWestonDesktop) {
            std::istringstream ready(ReadFile(directory_ + "/ready"));
            std::string wayland;
            std::string x;
            if (std::getline(ready, wayland) && std::getline(ready, x)) {
                waylandDisplay_ = wayland;
                xDisplay_ = x;
                std::getline(ready, xAuthority_);
                if (std::string holder; std::getline(ready, holder) && !holder.empty()) {
                    readyHolder_ = static_cast<pid_t>(std::stoi(holder));
                }
                for (const auto& entry : fs::directory_iterator(directory_)) {
                    if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) {
                        swaySocket_ = entry.path().string();
                    }
                }
                if (!xwayland || !xDisplay_.empty()) {
                    return;
                }
            }
        } else if (CanConnect(socket)) {
            if (!xwayland) {
                return;
            }
            // weston names XWayland's display in its log as it starts it.
            const std::string log = ReadFile(directory_ + "/compositor.log");
            const std::string marker = "xserver listening on display ";
            if (const std::size_t at = log.find(marker); at != std::string::npos) {
                const std::size_t start = at + marker.size();
                xDisplay_ = log.substr(start, log.find_first_of(" \n", start) - start);
                return;
            }
        }
        if (Clock::now() > deadline) {
            throw std::runtime_error("WaylandSession: the compositor did not come up:\n" +
                                     ReadFile(directory_ + "/compositor.err") +
                                     ReadFile(directory_ + "/compositor.log"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {

// SIGTERM, then SIGKILL when the process has not ended within the limit; reaps it.
void EndChild(pid_t pid) {
    (void)kill(pid, SIGTERM);
    const auto deadline = Clock::now() + kStopLimit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            (void)kill(pid, SIGKILL);
            (void)waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

void WaylandSession::Stop() {
    if (pid_ > 0) {
        EndChild(pid_);
        pid_ = -1;
    }
    // Not a child of the test's: the compositor started it.
    if (readyHolder_ > 0) {
        (void)kill(readyHolder_, SIGKILL);
        readyHolder_ = -1;
    }
    if (busPid_ > 0) {
        EndChild(busPid_);
        busPid_ = -1;
    }
    if (host_) {
        host_->Stop();
    }
}

}  // namespace quirlomat::testing
