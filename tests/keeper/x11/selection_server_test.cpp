// The keeper's selection server in this process, on a connection of its own, with limits
// and times chosen by the test: requests come from a real client through a real X server,
// and the server is driven one step at a time.

#include "keeper/x11/selection_server.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

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
        const std::string text(std::size_t{200} * 1024, 'q');  // several chunks
        ASSERT_TRUE(text_.Allocate(text.size()));
        std::copy(text.begin(), text.end(), text_.data());
        ASSERT_TRUE(text_.Resize(text.size()));
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
    Serve({std::chrono::hours(1), milliseconds(2000), 4});
    SelectionClient reader(xvfb_.display());
    const Clock::time_point start = Clock::now();
    StartLargePaste(reader, reader.window(), start);
    ASSERT_EQ(server_->transfers(), 1U);

    SelectionClient other(xvfb_.display());
    other.TakeClipboard();
    Pump(start + milliseconds(100));
    EXPECT_FALSE(server_->Finished()) << "a transfer begun may still finish";
    // A chunk read after the loss brings no more time.
    Pasted pasted = reader.Receive();
    Pump(start + milliseconds(1000));
    ASSERT_TRUE(reader.ReceiveChunk(&pasted));
    server_->DropStalled(start + milliseconds(2099));
    EXPECT_EQ(server_->transfers(), 1U);
    server_->DropStalled(start + milliseconds(2100));
    EXPECT_TRUE(server_->Finished());
}

TEST_F(InProcessKeeper, GrantsEachClientItsOwnShareOfTransfers) {
    Serve({milliseconds(30000), milliseconds(2000), 2});
    SelectionClient greedy(xvfb_.display());
    SelectionClient other(xvfb_.display());
    const Clock::time_point now = Clock::now();
    for (int i = 0; i < 3; ++i) {
        const xcb_window_t window = greedy.AddWindow();
        StartLargePaste(greedy, window, now);
        EXPECT_EQ(greedy.Receive().refused, i == 2) << "request " << i;
    }
    StartLargePaste(other, other.window(), now);
    EXPECT_TRUE(other.Receive().incremental);
    EXPECT_EQ(server_->transfers(), 3U);
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
