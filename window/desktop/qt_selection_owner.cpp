#include "window/desktop/qt_selection_owner.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <poll.h>
#include <unistd.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLatin1String>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include "clipboard/contract/clipboard_forms.h"
#include "clipboard/contract/clock.h"
#include "clipboard/delivery/deliveries.h"
#include "clipboard/delivery/write_without_waiting.h"
#include "runtime/errors.h"
#include "window/desktop/owner_limits.h"

namespace quirlomat {

namespace {

using delivery::Deliveries;
using hand_off::Clock;

// Readers who asked before another client took the clipboard get this long to finish; then
// the program ends, well within a second of the copy, whatever they do.
constexpr std::chrono::milliseconds kGraceAfterLoss{500};

// Qt's Wayland connection and input serial, through the one interface that both Qt 6.4 and
// later answer. The serial is that of the latest input event Qt's default seat received: the
// press of "Erstellen", which the compositor accepts as the reason to set the selection. The
// connection must be Qt's: the keyboard focus that the compositor asks for is its client's.
void* QtWaylandResource(const char* name) {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    return native != nullptr ? native->nativeResourceForIntegration(name) : nullptr;
}

// Gives a Wayland object back if there is one, and forgets it: Close meets objects never made
// (a Bind that failed half-way) and runs again from the destructor.
template <typename Object>
void DestroyIfSet(Object*& object, void (*destroy)(Object*)) {
    if (object != nullptr) {
        destroy(object);
        object = nullptr;
    }
}

}  // namespace

struct QtSelectionOwner::Served {
    Served() = default;
    ~Served() { Close(); }
    Served(const Served&) = delete;
    Served& operator=(const Served&) = delete;

    // Offers the text as the selection of Qt's seat and waits until the compositor has
    // announced it; a short German reason when it has not.
    // Binds what Take needs; a short German reason when the compositor lacks it.
    const char* Bind(wl_display* qtDisplay);
    const char* Take(std::uint32_t serial);
    void OnSend(const char* mimeType, int fd);
    void OnCancelled();
    // A limit the user set is reached: the selection goes as if another client had taken it,
    // but only while it is still the program's, and the pastes under way get their grace.
    void GiveUp();
    // Watches exactly the pipes whose transfers wait for room, and ends once the selection
    // is lost and nothing waits any more.
    void Watch();
    void Continue(int fd);
    void End();
    // Gives every Wayland object, pipe and notifier back; the text stays.
    void Close();

    SecretBytes text;
    wl_display* display = nullptr;
    // The registry, the manager and the device live on a queue of their own, which only
    // Take dispatches: Qt's queue is dispatched by Qt, on its schedule. The source is on
    // Qt's queue, so that the readers' requests arrive whenever the event loop runs.
    wl_event_queue* queue = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_data_device_manager* manager = nullptr;
    // Never destroyed: version 1 has no request for it, so the compositor would go on
    // announcing offers to it, and libwayland loses count of the objects the compositor
    // creates once it drops such an announcement (a fatal protocol error for the whole
    // connection, Qt's included).
    wl_data_device* device = nullptr;
    wl_data_source* source = nullptr;
    std::optional<Deliveries> deliveries;
    // By pipe; each is disabled before its pipe is closed, so that the event loop never polls
    // a closed descriptor, or a reused one as if it were the old.
    std::map<int, QSocketNotifier*> watching;
    QTimer grace;
    std::unique_ptr<OwnerLimits> limits;  // null without limits
    bool taken = false;                   // the compositor has announced the selection
    bool lost = false;
};

namespace {

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* served = static_cast<QtSelectionOwner::Served*>(data);
    if (served->seat == nullptr && std::strcmp(interface, "wl_seat") == 0) {
        // The first seat is the one Qt takes its input, and so the serial, from.
        served->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (served->manager == nullptr &&
               std::strcmp(interface, "wl_data_device_manager") == 0) {
        // Version 1 has all a selection needs, and no drag-and-drop events to answer.
        served->manager = static_cast<wl_data_device_manager*>(
            wl_registry_bind(registry, name, &wl_data_device_manager_interface, 1));
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {&OnGlobal, &OnGlobalRemove};

// The device is there for its requests; the offers it is told of (this program's own, or
// whatever its window is offered while it has the focus) are given back at once. Qt's own
// device tells Qt.
void OnDataOffer(void*, wl_data_device*, wl_data_offer*) {}
void OnEnter(void*, wl_data_device*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t,
             wl_data_offer* offer) {
    if (offer != nullptr) {
        wl_data_offer_destroy(offer);
    }
}
void OnLeave(void*, wl_data_device*) {}
void OnMotion(void*, wl_data_device*, std::uint32_t, wl_fixed_t, wl_fixed_t) {}
void OnDrop(void*, wl_data_device*) {}
void OnSelection(void*, wl_data_device*, wl_data_offer* offer) {
    if (offer != nullptr) {
        wl_data_offer_destroy(offer);
    }
}
const wl_data_device_listener kDeviceListener = {&OnDataOffer, &OnEnter, &OnLeave,
                                                 &OnMotion,    &OnDrop,  &OnSelection};

void OnTarget(void*, wl_data_source*, const char*) {}
void OnSend(void* data, wl_data_source*, const char* mimeType, std::int32_t fd) {
    static_cast<QtSelectionOwner::Served*>(data)->OnSend(mimeType, fd);
}
void OnCancelled(void* data, wl_data_source*) {
    static_cast<QtSelectionOwner::Served*>(data)->OnCancelled();
}
// Bound at version 1: the drag-and-drop events never come.
const wl_data_source_listener kSourceListener = {&OnTarget, &OnSend, &OnCancelled,
                                                 nullptr,   nullptr, nullptr};

}  // namespace

const char* QtSelectionOwner::Served::Bind(wl_display* qtDisplay) {
    display = qtDisplay;
    queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    if (queue == nullptr || wrapper == nullptr) {
        if (wrapper != nullptr) {
            wl_proxy_wrapper_destroy(wrapper);
        }
        return "kein Speicher für die Wayland-Verbindung";
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    (void)wl_registry_add_listener(registry, &kRegistryListener, this);
    if (wl_display_roundtrip_queue(display, queue) < 0) {
        return "Verbindung zum Wayland-Compositor verloren";
    }
    if (seat == nullptr) {
        return "kein Eingabesitz";
    }
    if (manager == nullptr) {
        return "der Wayland-Compositor bietet keine Zwischenablage an";
    }
    return nullptr;
}

const char* QtSelectionOwner::Served::Take(std::uint32_t serial) {
    // Both on Qt's queue from the start, before the compositor can tell them anything.
    device = wl_data_device_manager_get_data_device(manager, seat);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(device), nullptr);
    (void)wl_data_device_add_listener(device, &kDeviceListener, nullptr);
    source = wl_data_device_manager_create_data_source(manager);
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(source), nullptr);
    (void)wl_data_source_add_listener(source, &kSourceListener, this);
    for (const char* type : clipboard_forms::kUtf8Types) {
        wl_data_source_offer(source, type);
    }
    wl_data_source_offer(source, clipboard_forms::kPasswordManagerHint);

    // A compositor announces the new selection to the devices of the client with the keyboard
    // focus as it sets it, Qt's among them; one that has not by the answer to the next round
    // trip has refused it (a serial it did not take, a window without the focus). Mutter tells
    // only the device a client had when it got the focus, which is Qt's, not this one. The
    // round trip dispatches Qt's queue, as Qt's own round trips do.
    QClipboard* clipboard = QGuiApplication::clipboard();
    int announced = 0;
    const QMetaObject::Connection counting =
        QObject::connect(clipboard, &QClipboard::changed, [&announced](QClipboard::Mode mode) {
            announced += mode == QClipboard::Clipboard ? 1 : 0;
        });
    wl_data_device_set_selection(device, source, serial);
    const int trip = wl_display_roundtrip(display);
    QObject::disconnect(counting);
    if (trip < 0) {
        return "Verbindung zum Wayland-Compositor verloren";
    }
    const QMimeData* now = clipboard->mimeData(QClipboard::Clipboard);
    if (lost || announced == 0 || now == nullptr ||
        !now->hasFormat(QLatin1String(clipboard_forms::kPasswordManagerHint))) {
        return "die Zwischenablage nimmt den Text nicht an";
    }
    taken = true;
    return nullptr;
}

void QtSelectionOwner::Served::OnSend(const char* mimeType, int fd) {
    const char* data = nullptr;
    std::size_t size = 0;
    for (const char* type : clipboard_forms::kUtf8Types) {
        if (std::strcmp(mimeType, type) == 0 && !lost && (!limits || limits->Admit())) {
            data = text.data();
            size = text.size();
        }
    }
    if (std::strcmp(mimeType, clipboard_forms::kPasswordManagerHint) == 0) {
        data = clipboard_forms::kPasswordManagerHintValue;
        size = std::strlen(data);
    }
    if (data == nullptr || lost || !deliveries) {
        // A type never offered, or a request after the loss: an empty answer.
        (void)close(fd);
        return;
    }
    deliveries->Start(fd, data, size, Clock::now());
    Watch();
}

void QtSelectionOwner::Served::Continue(int fd) {
    if (!deliveries) {
        return;
    }
    const pollfd ready = {fd, POLLOUT, POLLOUT};
    deliveries->Continue(&ready, 1, Clock::now());
    Watch();
}

void QtSelectionOwner::Served::Watch() {
    pollfd waiting[Deliveries::kMostAtOnce];
    const std::size_t count = deliveries ? deliveries->Watch(waiting, Deliveries::kMostAtOnce) : 0;
    std::map<int, QSocketNotifier*> still;
    for (std::size_t i = 0; i < count; ++i) {
        const int fd = waiting[i].fd;
        const auto known = watching.find(fd);
        if (known != watching.end()) {
            still.emplace(fd, known->second);
            watching.erase(known);
            continue;
        }
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Write);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [this, fd] { Continue(fd); });
        still.emplace(fd, notifier);
    }
    // What is left has been closed: its notifier may be the one whose signal runs now.
    for (const auto& [fd, notifier] : watching) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    watching = std::move(still);
    if (lost && count == 0) {
        End();
    }
}

void QtSelectionOwner::Served::OnCancelled() {
    if (lost) {
        return;
    }
    lost = true;
    wl_data_source_destroy(source);
    source = nullptr;
    if (!taken) {
        // Refused while Take waits: Take reports it, and the window stays.
        return;
    }
    grace.setSingleShot(true);
    QObject::connect(&grace, &QTimer::timeout, [this] { End(); });
    grace.start(kGraceAfterLoss);
    Watch();
}

void QtSelectionOwner::Served::GiveUp() {
    // Destroying the source takes the selection away only while it is still this one; when
    // another client has copied since, the compositor has cancelled it already.
    OnCancelled();
}

void QtSelectionOwner::Served::End() {
    Close();
    // Assigning an empty text gives the old memory back to the secret allocator, which wipes
    // it.
    text = SecretBytes();
    QCoreApplication::exit(0);
}

void QtSelectionOwner::Served::Close() {
    grace.stop();
    for (const auto& [fd, notifier] : watching) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    watching.clear();
    deliveries.reset();  // closes every pipe still open
    DestroyIfSet(source, &wl_data_source_destroy);
    DestroyIfSet(manager, &wl_data_device_manager_destroy);
    DestroyIfSet(seat, &wl_seat_destroy);
    DestroyIfSet(registry, &wl_registry_destroy);
    DestroyIfSet(queue, &wl_event_queue_destroy);
}

QtSelectionOwner::QtSelectionOwner(const ClipboardLimits& limits) : limits_(limits) {}

QtSelectionOwner::~QtSelectionOwner() = default;

void QtSelectionOwner::SetText(const SecretBytes& utf8) {
    auto* display = static_cast<wl_display*>(QtWaylandResource("wl_display"));
    if (display == nullptr) {
        Raise(ErrorNumber::kClipboardUnavailable);
    }
    if (!delivery::PrepareWritesWithoutWaiting()) {
        Raise(ErrorNumber::kClipboardUnavailable, "kein Zeitgeber für das Schreiben");
    }

    served_.reset();
    auto served = std::make_unique<Served>();
    // More than a short string's inline buffer, so that the text is in secret memory at once.
    served->text.reserve(utf8.size() + 32);
    served->text.assign(utf8);
    served->deliveries.emplace();
    if (limits_.any()) {
        // Before the selection is taken: the compositor may read the text for a copy of its
        // own while Take waits for its answer, and that read must meet the limits already.
        Served* held = served.get();
        held->limits = std::make_unique<OwnerLimits>(limits_, [held] { held->GiveUp(); });
    }
    const char* reason = served->Bind(display);
    if (reason == nullptr) {
        // Qt 6.4 asks its default seat for the serial without looking whether there is one;
        // Bind has made sure there is.
        reason = served->Take(
            static_cast<std::uint32_t>(reinterpret_cast<quintptr>(QtWaylandResource("serial"))));
    }
    if (reason != nullptr) {
        // Every pipe and object goes; the text is wiped with served.
        served->Close();
        Raise(ErrorNumber::kClipboardUnavailable, reason);
    }
    served_ = std::move(served);
}

}  // namespace quirlomat
