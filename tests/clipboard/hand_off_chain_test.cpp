#include "clipboard/hand_off_chain.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace quirlomat {
namespace {

// A way to the clipboard that takes the text or fails with the given detail.
class Way final : public Clipboard {
public:
    Way(std::vector<std::string>* log, std::string name, std::optional<std::string> failure,
        Custody custody)
        : log_(log), name_(std::move(name)), failure_(std::move(failure)), custody_(custody) {}

    void Prepare() override { log_->push_back("prepare " + name_); }
    void SetText(const SecretBytes& utf8) override {
        log_->push_back(name_ + " " + std::string(utf8.begin(), utf8.end()));
        if (failure_) {
            Raise(ErrorNumber::kClipboardUnavailable, *failure_);
        }
    }
    Custody custody() const override { return custody_; }

private:
    std::vector<std::string>* log_;
    std::string name_;
    std::optional<std::string> failure_;
    Custody custody_;
};

SecretBytes Text(const char* text) {
    SecretBytes bytes;
    bytes.reserve(64);
    bytes.assign(text);
    return bytes;
}

TEST(HandOffChain, FallsToTheNextWayAndTakesItsCustody) {
    std::vector<std::string> log;
    std::vector<std::unique_ptr<Clipboard>> ways;
    ways.push_back(std::make_unique<Way>(&log, "wayland", "kein Protokoll", Custody::kKeeper));
    ways.push_back(std::make_unique<Way>(&log, "owner", std::nullopt, Custody::kThisProcess));
    ways.push_back(std::make_unique<Way>(&log, "never", std::nullopt, Custody::kKeeper));
    HandOffChain chain(std::move(ways));
    chain.Prepare();
    chain.SetText(Text("geheim"));
    EXPECT_EQ(log, (std::vector<std::string>{"prepare wayland", "prepare owner", "prepare never",
                                             "wayland geheim", "owner geheim"}));
    EXPECT_EQ(chain.custody(), Custody::kThisProcess);
}

TEST(HandOffChain, RaisesTheLastFailureWhenNoWayWorks) {
    std::vector<std::string> log;
    std::vector<std::unique_ptr<Clipboard>> ways;
    ways.push_back(std::make_unique<Way>(&log, "wayland", "erste", Custody::kKeeper));
    ways.push_back(std::make_unique<Way>(&log, "x11", "zweite", Custody::kKeeper));
    HandOffChain chain(std::move(ways));
    try {
        chain.SetText(Text("geheim"));
        ADD_FAILURE() << "no failure raised";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::kClipboardUnavailable);
        EXPECT_NE(std::string(error.what()).find("zweite"), std::string::npos) << error.what();
    }
    EXPECT_EQ(log.size(), 2U);
}

TEST(HandOffChain, WithoutAnyWayRaisesTheClipboardError) {
    HandOffChain chain({});
    EXPECT_THROW(chain.SetText(Text("geheim")), RunTimeError);
}

}  // namespace
}  // namespace quirlomat
