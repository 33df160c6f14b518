// hostile-reader: a client of the desktop that reads the clipboard through wlr-data-control
// the way a hostile or broken program would, for the tests to aim at the keeper.
//
//   hostile-reader fill-and-block TYPE HOLD_MS
//       Asks for TYPE with a pipe it has filled itself and made blocking, and keeps clearing
//       O_NONBLOCK on its copy of the writing end; makes room for one piece, so that the
//       keeper writes, and then reads nothing for HOLD_MS; then reads 4 KiB at a time.
//       Writes what came after its own filling to standard output; status 3 when its
//       filling came back changed.
//   hoard COUNT TYPE HOLD_MS
//       Asks for TYPE COUNT times, each with a socket whose send buffer is as small as the
//       system allows, reads nothing for HOLD_MS, then reads each transfer to its end. Writes
//       a line "<bytes> <FNV-1a hash>" for each.
//
// Status 2 when the compositor, its data-control protocol or a selection is missing.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <wayland-client.h>
#include <wlr-data-control-unstable-v1-client-protocol.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Client {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    zwlr_data_control_device_v1* device = nullptr;
    zwlr_data_control_offer_v1* selection = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto& client = *static_cast<Client*>(data);
    if (std::strcmp(interface, "wl_seat") == 0 && client.seat == nullptr) {
        client.seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, "zwlr_data_control_manager_v1") == 0) {
        client.manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

void OnDataOffer(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
void OnSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Client*>(data)->selection = offer;
}
void OnFinished(void*, zwlr_data_control_device_v1*) {}
void OnPrimarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}

[[noreturn]] void Fail(int status, const char* what) {
    std::fprintf(stderr, "hostile-reader: %s: %s\n", what, std::strerror(errno));
    std::exit(status);
}

Client Connect() {
    Client client;
    client.display = wl_display_connect(nullptr);
    if (client.display == nullptr) {
        Fail(2, "no compositor");
    }
    static const wl_registry_listener registryListener = {&OnGlobal, &OnGlobalRemove};
    client.registry = wl_display_get_registry(client.display);
    (void)wl_registry_add_listener(client.registry, &registryListener, &client);
    (void)wl_display_roundtrip(client.display);
    if (client.seat == nullptr || client.manager == nullptr) {
        Fail(2, "no seat or no wlr-data-control");
    }
    static const zwlr_data_control_device_v1_listener deviceListener = {
        &OnDataOffer, &OnSelection, &OnFinished, &OnPrimarySelection};
    client.device = zwlr_data_control_manager_v1_get_data_device(client.manager, client.seat);
    (void)zwlr_data_control_device_v1_add_listener(client.device, &deviceListener, &client);
    (void)wl_display_roundtrip(client.display);
    if (client.selection == nullptr) {
        Fail(2, "no selection");
    }
    return client;
}

// Leaves the compositor as a well-behaved client would, so that the sanitizers find nothing of
// the connection left over.
void Disconnect(Client& client) {
    zwlr_data_control_offer_v1_destroy(client.selection);
    zwlr_data_control_device_v1_destroy(client.device);
    zwlr_data_control_manager_v1_destroy(client.manager);
    wl_seat_destroy(client.seat);
    wl_registry_destroy(client.registry);
    wl_display_disconnect(client.display);
}

void Ask(Client& client, const char* type, int fd) {
    zwlr_data_control_offer_v1_receive(client.selection, type, fd);
    if (wl_display_roundtrip(client.display) < 0) {
        Fail(2, "compositor gone");
    }
}

// Reads fd to its end, pieceSize bytes at a time with pause between them; at most a minute.
std::string ReadToEnd(int fd, std::size_t pieceSize, std::chrono::milliseconds pause) {
    std::string text;
    std::vector<char> piece(pieceSize);
    const Clock::time_point deadline = Clock::now() + std::chrono::minutes(1);
    while (Clock::now() < deadline) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 1000) <= 0) {
            continue;
        }
        const ssize_t got = read(fd, piece.data(), piece.size());
        if (got <= 0) {
            break;
        }
        text.append(piece.data(), static_cast<std::size_t>(got));
        std::this_thread::sleep_for(pause);
    }
    return text;
}

int FillAndBlock(const char* type, std::chrono::milliseconds hold) {
    Client client = Connect();
    int ends[2];
    if (pipe(ends) != 0) {
        Fail(1, "pipe");
    }
    (void)fcntl(ends[1], F_SETFL, O_NONBLOCK);
    std::size_t filled = 0;
    while (write(ends[1], "#", 1) == 1) {
        ++filled;
    }
    (void)fcntl(ends[1], F_SETFL, 0);
    Ask(client, type, ends[1]);

    // The flag belongs to the open file description that the keeper now shares: whatever
    // the keeper sets there, this takes back.
    std::atomic<bool> holding = true;
    std::thread clearing([&] {
        while (holding) {
            (void)fcntl(ends[1], F_SETFL, fcntl(ends[1], F_GETFL) & ~O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string all(4096, '\0');
    all.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(ends[0], all.data(), 4096))));
    std::this_thread::sleep_for(hold);
    holding = false;
    clearing.join();
    close(ends[1]);
    Disconnect(client);

    all += ReadToEnd(ends[0], 4096, std::chrono::milliseconds(5));
    if (all.size() < filled || all.find_first_not_of('#') < filled) {
        std::fprintf(stderr, "hostile-reader: its own %zu bytes came back as %zu\n", filled,
                     all.size());
        return 3;
    }
    std::fwrite(all.data() + filled, 1, all.size() - filled, stdout);
    return 0;
}

std::uint64_t Fnv1a(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

int Hoard(int count, const char* type, std::chrono::milliseconds hold) {
    Client client = Connect();
    std::vector<int> readers;
    for (int i = 0; i < count; ++i) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
            Fail(1, "socketpair");
        }
        const int smallest = 1;
        (void)setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &smallest, sizeof smallest);
        zwlr_data_control_offer_v1_receive(client.selection, type, ends[0]);
        (void)wl_display_flush(client.display);
        close(ends[0]);
        readers.push_back(ends[1]);
    }
    if (wl_display_roundtrip(client.display) < 0) {
        Fail(2, "compositor gone");
    }
    Disconnect(client);
    std::this_thread::sleep_for(hold);
    for (const int fd : readers) {
        const std::string text = ReadToEnd(fd, 65536, std::chrono::milliseconds(0));
        std::printf("%zu %016llx\n", text.size(), static_cast<unsigned long long>(Fnv1a(text)));
        close(fd);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "fill-and-block" && argc == 4) {
        return FillAndBlock(argv[2], std::chrono::milliseconds(std::atoi(argv[3])));
    }
    if (mode == "hoard" && argc == 5) {
        return Hoard(std::atoi(argv[2]), argv[3], std::chrono::milliseconds(std::atoi(argv[4])));
    }
    std::fprintf(stderr,
                 "usage: hostile-reader fill-and-block TYPE HOLD_MS | "
                 "hoard COUNT TYPE HOLD_MS\n");
    return 64;
}
