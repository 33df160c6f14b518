// quirlomat-keeper: owns the X11 clipboard on behalf of the program that started it, which
// ends right after handing over the password. The conversation with the program is in
// clipboard/contract: "READY" once connected, then the length and the text, then "OK" once the
// keeper owns CLIPBOARD, or "ERR <reason>" with the clipboard untouched.

#include <optional>

#include "keeper/common/detach.h"
#include "keeper/common/start_up.h"
#include "keeper/common/status_line.h"
#include "keeper/x11/selection_server.h"
#include "keeper/x11/x_connection.h"
#include "secret/secret_buffer.h"

namespace quirlomat::keeper::x11 {
namespace {

int KeepClipboard() {
    const int signalFd = StartKeeper();
    if (signalFd < 0) {
        return 1;
    }

    XConnection x;
    if (const char* reason = x.Open()) {
        return ReportError(reason);
    }
    ReportReady();

    SecretBuffer text;
    ClipboardLimits limits;
    if (const std::optional<int> end = ReceivePassword(signalFd, &text, &limits)) {
        return *end;
    }

    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    if (const char* reason = x.TakeClipboard(signalFd, &ownedSince)) {
        return ReportError(reason);
    }
    const Clock::time_point handedOver = Clock::now();
    SelectionServer server(x, text, ownedSince);
    std::optional<PasteLimit> limit;
    if (limits.any()) {
        server.Bound(&limit.emplace(x, limits, handedOver));
    }
    ReportOk();
    Detach();
    Serve(x, server, signalFd);
    return 0;
}

}  // namespace
}  // namespace quirlomat::keeper::x11

int main() {
    return quirlomat::keeper::x11::KeepClipboard();
}
