#include "clipboard/delivery/deliveries.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace quirlomat::delivery {
namespace {

// Below the size for which the keeper enlarges a pipe, so that the full pipe stays full.
const std::string kText = [] {
    std::string text(std::size_t{60} * 1024, ' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>('!' + (i * 7919) % 94);
    }
    return text;
}();

// A reader's descriptor pair: what it hands the keeper and what it reads from.
struct Reader {
    int keeperEnd = -1;
    int readerEnd = -1;
};

enum class Kind : std::uint8_t { kBlockingFullPipe, kSmallSocket };

// Descriptors of the kinds a hostile reader hands over, each as unready as it can make it:
// a pipe already full and blocking (the flag the reader shares with the keeper), or a socket
// whose send buffer is as small as the system allows.
Reader Make(Kind kind) {
    int ends[2];
    if (kind == Kind::kBlockingFullPipe) {
        EXPECT_EQ(pipe2(ends, O_NONBLOCK), 0);
        while (write(ends[1], "#", 1) == 1) {
        }
        EXPECT_EQ(fcntl(ends[1], F_SETFL, 0), 0);
        return {ends[1], ends[0]};
    }
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    const int smallest = 1;
    EXPECT_EQ(setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &smallest, sizeof smallest), 0);
    return {ends[0], ends[1]};
}

// Reads the reader's end to its end, letting the deliveries go on as poll() says, and clears
// O_NONBLOCK through shared (a descriptor of the same open file description as the keeper's,
// closed once the keeper is done) before each of them; the bytes read after the reader's own
// filling.
std::string ReadAll(Deliveries& deliveries, int readerEnd, int shared) {
    std::string all;
    char piece[4096];
    for (int rounds = 0; rounds < 100000; ++rounds) {
        pollfd fds[1 + Deliveries::kMostAtOnce];
        fds[0] = {readerEnd, POLLIN, 0};
        const std::size_t count = 1 + deliveries.Watch(fds + 1, Deliveries::kMostAtOnce);
        if (poll(fds, count, 5000) <= 0) {
            break;
        }
        (void)fcntl(shared, F_SETFL, 0);
        deliveries.Continue(fds + 1, count - 1, Clock::now());
        if (deliveries.idle() && shared >= 0) {
            close(shared);
            shared = -1;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t got = read(readerEnd, piece, sizeof piece);
            if (got <= 0) {
                break;
            }
            all.append(piece, static_cast<std::size_t>(got));
        }
    }
    const std::size_t own = all.find_first_not_of('#');
    return own == std::string::npos ? std::string() : all.substr(own);
}

class DeliveriesTest : public ::testing::TestWithParam<Kind> {};

// Start and Continue return at once however little the reader takes and whatever it does to
// the descriptor's flags, and the reader that keeps reading gets the whole text. A keeper
// that blocked here would hang the test, which the watchdog then ends.
TEST_P(DeliveriesTest, NeverWaitsForTheReaderAndDeliversTheWholeText) {
    ASSERT_TRUE(PrepareWritesWithoutWaiting());
    std::atomic<bool> done = false;
    std::thread watchdog([&done] {
        for (int i = 0; i < 2000 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done) {
            std::fputs("the deliveries blocked on a reader\n", stderr);
            std::_Exit(1);
        }
    });
    Deliveries deliveries;
    const Reader reader = Make(GetParam());
    const int shared = dup(reader.keeperEnd);
    deliveries.Start(reader.keeperEnd, kText.data(), kText.size(), Clock::now());
    EXPECT_EQ(deliveries.count(), 1U);
    const std::string got = ReadAll(deliveries, reader.readerEnd, shared);
    done = true;
    watchdog.join();
    EXPECT_EQ(got.size(), kText.size());
    EXPECT_TRUE(got == kText);
    EXPECT_TRUE(deliveries.idle());
    close(reader.readerEnd);
}

INSTANTIATE_TEST_SUITE_P(Readers, DeliveriesTest,
                         ::testing::Values(Kind::kBlockingFullPipe, Kind::kSmallSocket));

TEST(DeliveriesTableTest, AFullTableGivesUpTheTransferThatWaitedLongest) {
    Deliveries deliveries;
    std::vector<Reader> readers;
    for (std::size_t i = 0; i <= Deliveries::kMostAtOnce; ++i) {
        readers.push_back(Make(Kind::kSmallSocket));
        deliveries.Start(readers.back().keeperEnd, kText.data(), kText.size(),
                         Clock::time_point(std::chrono::milliseconds(static_cast<long>(i))));
    }
    EXPECT_EQ(deliveries.count(), Deliveries::kMostAtOnce);
    // The first reader's socket is closed: it reads what had gone and then its end.
    std::string first;
    char piece[65536];
    for (ssize_t got; (got = read(readers[0].readerEnd, piece, sizeof piece)) > 0;) {
        first.append(piece, static_cast<std::size_t>(got));
    }
    EXPECT_LT(first.size(), kText.size());
    // The others are still being served.
    for (std::size_t i = 1; i < readers.size(); ++i) {
        pollfd open = {readers[i].readerEnd, POLLIN, 0};
        ASSERT_EQ(poll(&open, 1, 0), 1);
        EXPECT_EQ(open.revents & POLLHUP, 0) << "reader " << i;
    }
    for (const Reader& reader : readers) {
        close(reader.readerEnd);
    }
}

}  // namespace
}  // namespace quirlomat::delivery
