#pragma once

#include "clipboard/contract/limit_watch.h"
#include "clipboard/delivery/deliveries.h"
#include "keeper/wayland/compositor.h"
#include "keeper/wayland/data_control.h"
#include "keeper/wayland/text_forms.h"

namespace quirlomat::keeper::wayland {

using delivery::Deliveries;

// Owns the seat's selection with the text's forms and serves every reader until another
// client takes the selection, the compositor goes away, or a termination signal arrives.
class SelectionServer final : private SelectionListener {
public:
    // Readers who asked before the keeper lost the selection or was told to end get this
    // long to finish; the text is not kept for them any longer.
    static constexpr std::chrono::milliseconds kGraceAfterLoss{1000};

    // compositor and forms must outlive the server.
    SelectionServer(Compositor& compositor, const TextForms& forms);

    // Makes the text the selection and waits until the compositor has announced it. Returns
    // nullptr on success, else a short German reason.
    const char* Take();

    // Serves until the selection is lost, or a signal arrives on signalFd (which gives the
    // selection up), and the readers who had asked are done or out of time; or until the
    // compositor has gone.
    void Serve(int signalFd);

    // From now on the user's limits decide what is served: a request for a text form (not for
    // the secret hint alone) is a paste or part of one, and once a limit is reached the
    // selection is given up, should it still be the keeper's, and the keeper ends as after a
    // loss. limit must outlive the server.
    void Bound(LimitWatch* limit) { limit_ = limit; }

private:
    void OnSend(const char* mimeType, int fd) override;
    void OnLost() override;

    Compositor& compositor_;
    const TextForms& forms_;
    Deliveries deliveries_;
    bool lost_ = false;
    Clock::time_point lostAt_;
    LimitWatch* limit_ = nullptr;
};

}  // namespace quirlomat::keeper::wayland
