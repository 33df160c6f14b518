// quirlomat-keeper: owns the X11 clipboard on behalf of the program that started it, which
// ends right after handing over the password.
//
// Protocol with the parent: the password arrives as UTF-8 on standard input until end of
// file. Once the keeper owns CLIPBOARD it writes "OK\n" to standard output and detaches;
// any failure before that is reported as "ERR <reason>\n" and a non-zero exit status.

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "runtime/keeper/secret_buffer.h"
#include "runtime/keeper/selection_server.h"
#include "runtime/keeper/x_connection.h"

namespace quirlomat::keeper {
namespace {

// Far above any password the program makes (a 32767-character password of four-byte
// characters is 128 KiB), yet a bound on what a confused parent can make the keeper hold.
constexpr std::size_t kLargestText = std::size_t{1024} * 1024;

void WriteAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, text, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        size -= static_cast<std::size_t>(written);
    }
}

int Fail(const char* reason) {
    WriteAll(STDOUT_FILENO, "ERR ", 4);
    WriteAll(STDOUT_FILENO, reason, std::strlen(reason));
    WriteAll(STDOUT_FILENO, "\n", 1);
    return 1;
}

void Harden() {
    const rlimit noCore{0, 0};
    (void)setrlimit(RLIMIT_CORE, &noCore);
#if !defined(QUIRLOMAT_SANITIZED)
    // LeakSanitizer inspects the process through ptrace at exit, which a non-dumpable
    // process forbids.
    (void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

// The termination signals arrive on a descriptor, so that the event loop sees them in the
// same poll() as the X connection and leaves through its normal end, which wipes the text.
int TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&signals, number);
    }
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
        return -1;
    }
    return signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

// After "OK" nobody reads the keeper's output any more: the parent ends at once. The keeper
// lets go of the parent's pipes and terminal, and of the working directory, which would
// otherwise keep its file system from being unmounted.
void Detach() {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (null >= 0) {
            (void)dup2(null, fd);
        } else {
            (void)close(fd);
        }
    }
    if (null > STDERR_FILENO) {
        (void)close(null);
    }
    if (chdir("/") != 0) {
        // The keeper serves from any directory; it merely keeps the old one busy.
    }
}

void Serve(XConnection& x, SelectionServer& server, int signalFd) {
    while (!server.Finished()) {
        const Event event =
            x.WaitForEvent(signalFd, server.MillisecondsToNextStall(SelectionServer::Now()));
        if (x.broken()) {
            return;
        }
        if (event) {
            server.Handle(*event, SelectionServer::Now());
        } else {
            pollfd signal{signalFd, POLLIN, 0};
            if (poll(&signal, 1, 0) != 0) {
                return;
            }
        }
        server.DropStalled(SelectionServer::Now());
    }
}

int Run() {
    // Descriptors the parent leaked to the keeper would live on with it; the keeper needs
    // none beyond its standard three.
    closefrom(STDERR_FILENO + 1);
    Harden();
    (void)std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = TerminationSignals();
    if (signalFd < 0) {
        return Fail("Signale nicht einrichtbar");
    }
    // The parent starts the keeper in a session of its own; a keeper started otherwise leaves
    // its caller's session too, so that the end of a terminal does not end the clipboard.
    if (getsid(0) != getpid()) {
        (void)setsid();
    }

    SecretBuffer text(kLargestText);
    switch (text.ReadAll(STDIN_FILENO)) {
        case SecretBuffer::ReadStatus::kComplete:
            break;
        case SecretBuffer::ReadStatus::kTooLong:
            return Fail("Text zu lang");
        case SecretBuffer::ReadStatus::kFailed:
            return Fail("Text nicht lesbar");
    }

    XConnection x;
    if (const char* reason = x.Open()) {
        return Fail(reason);
    }
    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    if (const char* reason = x.TakeClipboard(signalFd, &ownedSince)) {
        return Fail(reason);
    }
    SelectionServer server(x, text, ownedSince);
    WriteAll(STDOUT_FILENO, "OK\n", 3);
    Detach();
    Serve(x, server, signalFd);
    return 0;
}

}  // namespace
}  // namespace quirlomat::keeper

int main() {
    return quirlomat::keeper::Run();
}
