#pragma once

#include <string>
#include <sys/types.h>

namespace quirlomat::testing {

// An X server of the test's own (Xvfb), so that tests need no display from outside and may
// end the server whenever they like. The display is chosen by the server among the free ones.
class XvfbServer {
public:
    // Starts the server and waits until it accepts connections; throws std::runtime_error
    // when it does not come up.
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // The display name for DISPLAY, ":<number>".
    const std::string& display() const { return display_; }
    // The server process, a child of the test's.
    pid_t pid() const { return pid_; }

    // Ends the server and waits for it; its clients lose their connections. Idempotent.
    void Stop();

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace quirlomat::testing
