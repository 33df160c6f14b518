#include "window/desktop/qt_program_end.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include "clipboard/clipboard.h"

namespace quirlomat {
namespace {

class HeldBy final : public Clipboard {
public:
    explicit HeldBy(Custody custody) : custody_(custody) {}
    void SetText(const SecretBytes&) override {}
    Custody custody() const override { return custody_; }

private:
    Custody custody_;
};

TEST(QtProgramEnd, HidesEveryWindowAndLeavesTheEventLoopWithZero) {
    for (const Custody custody : {Custody::kKeeper, Custody::kWindowSystem}) {
        QWindow first;
        QWindow second;
        first.show();
        second.show();
        const HeldBy clipboard(custody);
        QtProgramEnd end(clipboard);
        QTimer::singleShot(0, [&] {
            end.End();
            EXPECT_FALSE(first.isVisible());
            EXPECT_FALSE(second.isVisible());
        });
        // Ends the loop with another code in case End does not.
        QTimer::singleShot(2000, [] { QCoreApplication::exit(7); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_FALSE(first.isVisible());
    }
}

TEST(QtProgramEnd, StaysWindowlessWhileThisProcessHoldsTheText) {
    QWindow window;
    window.show();
    const HeldBy clipboard(Custody::kThisProcess);
    QtProgramEnd end(clipboard);
    QTimer::singleShot(0, [&] { end.End(); });
    // Only the clipboard's change of hands ends the loop; here, this timer.
    QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7);
    EXPECT_FALSE(window.isVisible());
    QGuiApplication::setQuitOnLastWindowClosed(true);
}

}  // namespace
}  // namespace quirlomat
