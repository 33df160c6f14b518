#include "keeper/wayland/selection_server.h"

#include <cstring>
#include <unistd.h>

#include "clipboard/contract/clipboard_forms.h"

namespace quirlomat::keeper::wayland {

namespace {

// A compositor announces a new selection to every data device as it sets it; one that has
// not done so by then has not made the keeper's text the selection. Well inside the time the
// program waits for an answer, so that it hears why rather than a time-out.
constexpr std::chrono::milliseconds kAnnouncementDeadline{1000};

}  // namespace

SelectionServer::SelectionServer(Compositor& compositor, const TextForms& forms)
    : compositor_(compositor), forms_(forms) {}

const char* SelectionServer::Take() {
    const char* types[8];
    std::size_t count = 0;
    for (const TextForms::Form& form : forms_) {
        types[count++] = form.mimeType;
    }
    // Announcements still under way from before would pass for the keeper's own.
    if (!compositor_.Roundtrip()) {
        return "Verbindung zum Wayland-Compositor verloren";
    }
    DataControl& control = compositor_.dataControl();
    const std::uint32_t before = control.selectionsAnnounced();
    if (!control.SetSelection(types, count, this)) {
        return "Eingabesitz nicht mehr vorhanden";
    }
    const Clock::time_point deadline = Clock::now() + kAnnouncementDeadline;
    if (!compositor_.Roundtrip()) {
        return "Verbindung zum Wayland-Compositor verloren";
    }
    while (control.selectionsAnnounced() == before && !lost_) {
        const int left = MillisecondsUntil(deadline, Clock::now());
        if (left == 0) {
            return "Wayland-Compositor bestätigt die Zwischenablage nicht";
        }
        if (!compositor_.Wait(nullptr, 0, left)) {
            return "Verbindung zum Wayland-Compositor verloren";
        }
    }
    if (lost_) {
        return "Zwischenablage nicht übernommen";
    }
    return nullptr;
}

void SelectionServer::Serve(int signalFd) {
    static_assert(Compositor::kMostWatched >= 1 + Deliveries::kMostAtOnce);
    for (;;) {
        const Clock::time_point now = Clock::now();
        int timeout = -1;
        if (lost_) {
            if (deliveries_.idle() || now >= lostAt_ + kGraceAfterLoss) {
                return;
            }
            timeout = MillisecondsUntil(lostAt_ + kGraceAfterLoss, now);
        } else if (limit_ != nullptr && limit_->GoneAt() != Clock::time_point::max()) {
            if (now >= limit_->GoneAt()) {
                // Destroying the source clears the selection only while it is the keeper's:
                // another client's selection set meanwhile stays as it is.
                compositor_.dataControl().GiveUp();
                OnLost();
                continue;
            }
            timeout = MillisecondsUntil(limit_->GoneAt(), now);
        }

        pollfd fds[1 + Deliveries::kMostAtOnce];
        // Once the end has begun, a further signal changes nothing.
        fds[0] = {lost_ ? -1 : signalFd, POLLIN, 0};
        const std::size_t count = 1 + deliveries_.Watch(fds + 1, Deliveries::kMostAtOnce);
        if (!compositor_.Wait(fds, count, timeout)) {
            return;
        }
        if (fds[0].revents != 0) {
            // Told to end: the selection goes first, so that no new reader asks, and the
            // readers who had asked get the same grace as after a loss.
            compositor_.dataControl().GiveUp();
            OnLost();
        }
        deliveries_.Continue(fds + 1, count - 1, Clock::now());
    }
}

void SelectionServer::OnSend(const char* mimeType, int fd) {
    const TextForms::Form* form = lost_ ? nullptr : forms_.Find(mimeType);
    if (form != nullptr && limit_ != nullptr &&
        std::strcmp(mimeType, clipboard_forms::kPasswordManagerHint) != 0 &&
        !limit_->Admit(Clock::now())) {
        form = nullptr;
    }
    if (form == nullptr) {
        // A type the keeper never offered, or a request after the loss: an empty answer.
        (void)close(fd);
        return;
    }
    deliveries_.Start(fd, form->data, form->size, Clock::now());
}

void SelectionServer::OnLost() {
    if (!lost_) {
        lost_ = true;
        lostAt_ = Clock::now();
    }
}

}  // namespace quirlomat::keeper::wayland
