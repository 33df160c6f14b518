// The keeper's selection server in this process, on a connection of its own, with limits
// and times chosen by the test: requests come from a real client through a real X server,
// and the server is driven one step at a time.

#include "keeper/x11/selection_server.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/selection_client.h"
#include "support/xvfb_server.h"

namespace quirlomat::keeper::x11 {
namespace {

using std::chrono::milliseconds;
using testing::Pasted;
using testing::SelectionClient;

class InProcessKeeper : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("DISPLAY", xvfb_.display().c_str(), 1);
        ASSERT_EQ(x_.Open(), nullptr);
        ASSERT_TRUE(text_.Allocate(expected_.size()));
        std::copy(expected_.begin(), expected_.end(), text_.data());
        ASSERT_TRUE(text_.Resize(expected_.size()));
        ASSERT_EQ(x_.TakeClipboard(-1, &ownedSince_), nullptr);
    }

    void Serve(TransferLimits limits) {
        server_ = std::make_unique<SelectionServer>(x_, text_, ownedSince_, limits);
    }

    // Lets the server handle everything the X server has sent it by now, as at time now,
    // and makes sure its answers have reached the X server.
    void Pump(Clock::time_point now) {
        x_.Sync();
        while (const Event event = x_.NextQueuedEvent()) {
            server_->Handle(*event, now);
        }
        x_.Sync();
    }

    // Starts a large paste into window of client and lets the server announce it.
    void StartLargePaste(SelectionClient& client, xcb_window_t window, Clock::time_point now) {
        client.RequestOn(window, "UTF8_STRING", client.Atom("QUIRLOMAT_TEST_PASTE"));
        client.Sync();
        Pump(now);
    }

    testing::XvfbServer xvfb_;
    XConnection x_;
    const std::string expected_ = std::string(std::size_t{200} * 1024, 'q');  // several chunks
    SecretBuffer text_;
    xcb_timestamp_t ownedSince_ = XCB_CURRENT_TIME;
    std::unique_ptr<SelectionServer> server_;
};

TEST_F(InProcessKeeper, DropsATransferOnceItsReaderStallsForTheStallLimit) {
    Serve({milliseconds(1000), milliseconds(2000), 4});
    SelectionClient reader(xvfb_.display());
    const Clock::time_point start = Clock::now();
    StartLargePaste(reader, reader.window(), start);
    ASSERT_EQ(server_->transfers(), 1U);
    EXPECT_EQ(server_->MillisecondsToNextDeadline(start + milliseconds(400)), 600);

    // Each chunk read gives the reader the limit anew.
    Pasted pasted = reader.Receive();
    ASSERT_TRUE(pasted.incremental);
    Pump(start + milliseconds(900));
    ASSERT_TRUE(reader.ReceiveChunk(&pasted));
    server_->DropStalled(start + milliseconds(1899));
    EXPECT_EQ(server_->transfers(), 1U);
    server_->DropStalled(start + milliseconds(1900));
    EXPECT_EQ(server_->transfers(), 0U);
    EXPECT_EQ(server_->MillisecondsToNextDeadline(start), -1);
}

TEST_F(InProcessKeeper, LetsTransfersRunOnOnlyBrieflyOnceTheClipboardIsLost) {
    Serve({std::chrono::hours(1), milliseconds(2000), 1});
    SelectionClient reader(xvfb_.display());
    const Clock::time_point start = Clock::now();
    StartLargePaste(reader, reader.window(), start);
    ASSERT_EQ(server_->transfers(), 1U);
    // A request waiting for its turn then is refused once the time is up, not left unanswered.
    SelectionClient bridge(xvfb_.display());
    bridge.StartOnNewWindow("UTF8_STRING");
    bridge.StartOnNewWindow("UTF8_STRING");
    bridge.Sync();
    Pump(start);
    ASSERT_EQ(server_->waiting(), 1U);

    SelectionClient other(xvfb_.display());
    other.TakeClipboard();
    Pump(start + milliseconds(100));
    EXPECT_FALSE(server_->Finished()) << "a transfer begun may still finish";
    // A chunk read after the loss brings no more time.
    Pasted pasted = reader.Receive();
    Pump(start + milliseconds(1000));
    ASSERT_TRUE(reader.ReceiveChunk(&pasted));
    server_->DropStalled(start + milliseconds(2099));
    EXPECT_EQ(server_->transfers() + server_->waiting(), 3U);
    server_->DropStalled(start + milliseconds(2100));
    EXPECT_TRUE(server_->Finished());
    Pump(start + milliseconds(2100));
    bridge.Sync();
    bridge.ServeBridged(/*readChunks=*/false, 0);
    EXPECT_TRUE(bridge.bridged()[1].pasted.refused);
}

// A compositor's bridge asks for all its readers as one client: beyond its share of
// transfers its requests wait their turn, while other clients are served alongside.
TEST_F(InProcessKeeper, LetsOneClientsRequestsBeyondItsShareWaitTheirTurn) {
    Serve({milliseconds(30000), milliseconds(2000), 2, 3});
    SelectionClient bridge(xvfb_.display());
    SelectionClient other(xvfb_.display());
    const Clock::time_point now = Clock::now();
    for (int i = 0; i < 6; ++i) {
        bridge.StartOnNewWindow("UTF8_STRING");
    }
    bridge.Sync();
    Pump(now);
    EXPECT_EQ(server_->transfers(), 2U);
    EXPECT_EQ(server_->waiting(), 3U);
    StartLargePaste(other, other.window(), now);
    Pasted pasted = other.Receive();
    ASSERT_TRUE(pasted.incremental) << "held up by another client's requests";

    for (int step = 0; step < 100 && server_->transfers() + server_->waiting() > 1; ++step) {
        bridge.Sync();
        bridge.ServeBridged(/*readChunks=*/true, 0);
        Pump(now);
    }
    bridge.ServeBridged(true, 0);
    const auto& pastes = bridge.bridged();
    for (std::size_t i = 0; i < pastes.size(); ++i) {
        EXPECT_TRUE(pastes[i].done) << "paste " << i;
        EXPECT_EQ(pastes[i].pasted.refused, i == 5) << "paste " << i;
        if (i != 5) {
            EXPECT_TRUE(pastes[i].pasted.data == expected_) << "paste " << i;
        }
    }
    while (other.ReceiveChunk(&pasted)) {
        Pump(now);
    }
    EXPECT_TRUE(pasted.data == expected_);
}

// When every place is taken, a client with few requests takes the place of the latest
// waiting one of the client with the most, and that client gets no more.
TEST_F(InProcessKeeper, MakesTheGreediestClientGiveWayOnceEveryPlaceIsTaken) {
    Serve({milliseconds(30000), milliseconds(2000), 1, IncrTransfers::kCapacity});
    SelectionClient greedy(xvfb_.display());
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < IncrTransfers::kCapacity; ++i) {
        greedy.StartOnNewWindow("UTF8_STRING");
    }
    greedy.Sync();
    Pump(now);
    ASSERT_EQ(server_->transfers() + server_->waiting(), IncrTransfers::kCapacity);

    SelectionClient other(xvfb_.display());
    StartLargePaste(other, other.window(), now);
    EXPECT_TRUE(other.Receive().incremental);
    greedy.StartOnNewWindow("UTF8_STRING");
    greedy.Sync();
    Pump(now);
    greedy.Sync();
    greedy.ServeBridged(/*readChunks=*/false, 0);
    std::vector<std::size_t> refused;
    for (std::size_t i = 0; i < greedy.bridged().size(); ++i) {
        if (greedy.bridged()[i].pasted.refused) {
            refused.push_back(i);
        }
    }
    EXPECT_EQ(refused,
              (std::vector<std::size_t>{IncrTransfers::kCapacity - 1, IncrTransfers::kCapacity}));
}

// A property write the X server refuses (here: an atom that does not exist) must be
// answered as a refusal, not as data the requestor would then look for in vain.
TEST_F(InProcessKeeper, ReportsAPropertyTheServerWouldNotWriteAsARefusal) {
    Serve({});
    const xcb_atom_t noSuchAtom = 0x1FFFFFF0;
    for (const char* target : {"UTF8_STRING", "TARGETS", "TIMESTAMP"}) {
        for (const bool bogus : {true, false}) {
            SCOPED_TRACE(std::string(target) + (bogus ? ", no such property" : ""));
            SelectionClient requestor(xvfb_.display());
            // The real request sets the client up to wait for an answer; the server answers
            // the one made up here in its stead.
            requestor.RequestOn(requestor.window(), target, requestor.Atom("QUIRLOMAT_TEST_PASTE"));
            requestor.Sync();
            x_.Sync();
            while (const Event event = x_.NextQueuedEvent()) {
                if (event->response_type != XCB_SELECTION_REQUEST) {
                    server_->Handle(*event, Clock::now());
                }
            }
            xcb_selection_request_event_t request{};
            request.response_type = XCB_SELECTION_REQUEST;
            request.time = XCB_CURRENT_TIME;
            request.owner = x_.window();
            request.requestor = requestor.window();
            request.selection = x_.atoms().clipboard;
            request.target = requestor.Atom(target);
            request.property = bogus ? noSuchAtom : requestor.Atom("QUIRLOMAT_TEST_PASTE");
            const std::size_t transfers = server_->transfers();
            server_->Handle(reinterpret_cast<const xcb_generic_event_t&>(request), Clock::now());
            Pump(Clock::now());
            EXPECT_EQ(requestor.Receive().refused, bogus);
            if (bogus) {
                EXPECT_EQ(server_->transfers(), transfers) << "a refused paste holds no transfer";
            }
        }
    }
}

}  // namespace
}  // namespace quirlomat::keeper::x11
