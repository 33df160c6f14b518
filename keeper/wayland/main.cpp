// quirlomat-wayland-keeper: owns the Wayland clipboard on behalf of the program that started
// it, which ends right after handing over the password.
//
// The conversation with the program is in clipboard/contract: "READY" once the compositor offers
// a data-control protocol and a seat, then the length and the text, then "OK" once the
// keeper owns the selection, or "ERR <reason>" with the clipboard untouched.

#include <cstdint>
#include <optional>
#include <poll.h>
#include <unistd.h>

#include "clipboard/contract/limit_watch.h"
#include "clipboard/delivery/write_without_waiting.h"
#include "keeper/common/detach.h"
#include "keeper/common/start_up.h"
#include "keeper/common/status_line.h"
#include "keeper/wayland/compositor.h"
#include "keeper/wayland/selection_server.h"
#include "keeper/wayland/text_forms.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper::wayland {
namespace {

using delivery::PrepareWritesWithoutWaiting;

enum class Waited : std::uint8_t { kInput, kSignal, kCompositorGone };

// Until the program writes, the keeper keeps up with the compositor, which goes on
// announcing other clients' selections, and notices when it goes away.
Waited WaitForInput(Compositor& compositor, int signalFd) {
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (!compositor.Wait(fds, 2, -1)) {
            return Waited::kCompositorGone;
        }
        if (fds[1].revents != 0) {
            return Waited::kSignal;
        }
        if (fds[0].revents != 0) {
            return Waited::kInput;
        }
    }
}

int KeepClipboard() {
    const int signalFd = StartKeeper();
    if (signalFd < 0) {
        return 1;
    }
    if (!PrepareWritesWithoutWaiting()) {
        return ReportError("Signale nicht einrichtbar");
    }

    Compositor compositor;
    if (const char* reason = compositor.Connect()) {
        return ReportError(reason);
    }
    ReportReady();

    switch (WaitForInput(compositor, signalFd)) {
        case Waited::kInput:
            break;
        case Waited::kSignal:
            return 0;
        case Waited::kCompositorGone:
            return ReportError("Verbindung zum Wayland-Compositor verloren");
    }
    SecretBuffer text;
    ClipboardLimits limits;
    if (const std::optional<int> end = ReceivePassword(signalFd, &text, &limits)) {
        return *end;
    }
    const TextForms forms(text);
    if (!forms.valid()) {
        return ReportError("kein Speicher für den Text");
    }

    LimitWatch limit(limits, Clock::now());
    SelectionServer server(compositor, forms);
    if (limits.any()) {
        server.Bound(&limit);
    }
    if (const char* reason = server.Take()) {
        return ReportError(reason);
    }
    ReportOk();
    Detach();
    server.Serve(signalFd);
    // The destructors wipe the text and give up the selection, should it still be ours.
    return 0;
}

}  // namespace
}  // namespace quirlomat::keeper::wayland

int main() {
    return quirlomat::keeper::wayland::KeepClipboard();
}
