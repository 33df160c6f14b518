// The Qt clipboard as another program on the desktop sees it: a real X server (Xvfb), the
// text set through Qt's X11 plug-in, and read back, with the formats offered, by a client of
// its own, as a clipboard manager or a pasting program would.

#include "window/desktop/qt_clipboard.h"

#include <cstdlib>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>

#include <QCoreApplication>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include "support/selection_client.h"
#include "support/xvfb_server.h"

namespace quirlomat {
namespace {

using testing::Pasted;
using testing::SelectionClient;

std::optional<testing::XvfbServer> server;

SecretBytes Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Runs read on a thread of its own while this thread's event loop lets Qt answer it: Qt
// serves its clipboard from the event loop.
template <typename Result>
Result WhileQtServes(std::function<Result(SelectionClient&)> read) {
    std::future<Result> result = std::async(std::launch::async, [&read] {
        SelectionClient client(server->display());
        return read(client);
    });
    while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return result.get();
}

TEST(QtClipboard, OffersTheTextAsUtf8MarkedAsSecretForClipboardManagers) {
    QtClipboard clipboard;
    const std::string password = "P\xC3\xA4\xE2\x82\xAC \xF0\x9F\x98\x80";  // "Pä€ 😀"
    clipboard.SetText(Bytes(password));

    const auto targets = WhileQtServes<std::set<std::string>>([](SelectionClient& client) {
        std::set<std::string> names;
        for (const std::uint32_t atom : SelectionClient::Numbers(client.Paste("TARGETS"))) {
            names.insert(client.AtomName(atom));
        }
        return names;
    });
    EXPECT_EQ(targets.count("UTF8_STRING"), 1U);
    EXPECT_EQ(targets.count("x-kde-passwordManagerHint"), 1U);
    for (const char* target : {"UTF8_STRING", "text/plain;charset=utf-8"}) {
        const Pasted text = WhileQtServes<Pasted>(
            [target](SelectionClient& client) { return client.Paste(target); });
        EXPECT_FALSE(text.refused) << target;
        EXPECT_EQ(text.data, password) << target;
    }
    // Klipper and the clipboard managers that follow it leave such a text out of their history.
    EXPECT_EQ(WhileQtServes<Pasted>([](SelectionClient& client) {
                  return client.Paste("x-kde-passwordManagerHint");
              }).data,
              "secret");
}

TEST(QtClipboard, ReplacesWhatWasThereAndStoresAnEmptyTextAsText) {
    QtClipboard clipboard;
    clipboard.SetText(Bytes("first"));
    clipboard.SetText(Bytes(""));
    const Pasted pasted =
        WhileQtServes<Pasted>([](SelectionClient& client) { return client.Paste("UTF8_STRING"); });
    EXPECT_FALSE(pasted.refused);
    EXPECT_EQ(pasted.data, "");
}

}  // namespace
}  // namespace quirlomat

// The X server must be there before Qt connects to it; listing the tests needs neither.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    quirlomat::server.emplace();
    setenv("DISPLAY", quirlomat::server->display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 0;
    {
        QGuiApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    quirlomat::server.reset();
    return result;
}
