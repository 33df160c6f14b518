#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/command.h"
#include "support/xvfb_server.h"

namespace quirlomat::testing {

// A Wayland compositor of the test's own, with or without XWayland: sway on its headless back
// end and KDE's KWin on its virtual one, which offer a data-control protocol; weston and
// GNOME's Mutter (headless, with one virtual monitor), which offer none.
//
// Mutter and KWin want a D-Bus session bus: each session of theirs gets a bus of its own,
// which its clients share. KWin runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1, so that a
// test client may type through its fake-input interface. Debian installs kwin_wayland with a
// file capability, which an unprivileged user in a container may not gain ("Operation not
// permitted"), so the session runs a copy of it, which carries none.
//
// sway refuses to run as root, and a desktop session is never root's: when the test runs as
// root, the compositor and every client the test starts in the session run as the user
// nobody, in a runtime directory of their own (mode 0700, owned by that user). Programs of
// the build are copied there first, so that they can be run whatever the permissions of the
// build tree's parents. XWayland picks a free display number by the X server lock files,
// which keeps parallel sessions apart.
class WaylandSession {
public:
    // kWestonDesktop: weston with its desktop shell, whose windows keep their own size and
    // wear only the frame their client draws (the kiosk shell fills the screen with them).
    enum class Compositor : std::uint8_t { kSway, kWeston, kWestonDesktop, kMutter, kKWin };

    // Starts the compositor and waits until it accepts clients (and XWayland has a display
    // name); throws std::runtime_error when it does not come up in time.
    WaylandSession(Compositor compositor, bool xwayland);
    ~WaylandSession();  // Stop, then removes the runtime directory
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    // The X display of its XWayland (":N"), or "" without.
    const std::string& xDisplay() const { return xDisplay_; }
    const std::string& directory() const { return directory_; }
    // weston's own X server, which carries its output and takes X test input for its seat.
    std::string hostDisplay() const { return host_ ? host_->display() : std::string(); }

    // Copies the file at path to relative inside the session's directory, readable and
    // executable by the session's user, and returns the copy's path.
    std::string Stage(const std::string& path, const std::string& relative);

    // argv as a client of the session: as its user, with an environment of its own (PATH,
    // HOME, XDG_RUNTIME_DIR, WAYLAND_DISPLAY, DISPLAY where XWayland runs, the sanitizers'
    // options), plus extraEnvironment ("NAME=value").
    std::vector<std::string> Client(const std::vector<std::string>& argv,
                                    const std::vector<std::string>& extraEnvironment = {}) const;

    // Runs a client to its end (Client + RunCommand).
    CommandResult Run(const std::vector<std::string>& argv, const std::string& input = {},
                      int timeoutMs = 10000) const;

    // What wl-paste reads from the clipboard as type (its own choice when empty); a non-zero
    // status when there is nothing to read.
    CommandResult Paste(const std::string& type = {}) const;
    // wl-paste --list-types, one type per entry.
    std::vector<std::string> PastableTypes() const;

    // A client that stays: wl-copy --foreground owning the clipboard with text, until the
    // returned program is destroyed or another client takes the clipboard.
    std::unique_ptr<RunningProgram> Copy(const std::string& text) const;

    // Ends the compositor (its clients lose their connections) and waits for it. Idempotent.
    void Stop();

private:
    void StartSway(bool xwayland);
    void StartWeston(bool xwayland, const std::string& shell);
    void StartSessionBus();
    void StartMutter(bool xwayland);
    void StartKWin(bool xwayland);
    std::string WriteReadyScript();
    void WaitUntilUp(bool xwayland, Compositor compositor);
    pid_t SpawnCompositor(const std::vector<std::string>& command,
                          const std::string& log = "compositor.err");

    Compositor compositor_;
    std::string directory_;
    std::string waylandDisplay_ = "wayland-1";
    std::string xDisplay_;
    std::string xAuthority_;  // the X cookie file Mutter's XWayland asks for
    std::string swaySocket_;  // sway's IPC, for swaymsg
    pid_t pid_ = -1;
    pid_t busPid_ = -1;       // the session bus of Mutter's and KWin's sessions
    pid_t readyHolder_ = -1;  // the command that keeps Mutter running
    bool asNobody_ = false;
    std::vector<std::string> passedEnvironment_;
    std::unique_ptr<XvfbServer> host_;  // weston's output and input
};

}  // namespace quirlomat::testing
