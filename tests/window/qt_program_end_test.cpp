#include "window/qt_program_end.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace quirlomat {
namespace {

TEST(QtProgramEnd, HidesEveryWindowAndLeavesTheEventLoopWithZero) {
    QWindow first;
    QWindow second;
    first.show();
    second.show();
    QtProgramEnd end;
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

}  // namespace
}  // namespace quirlomat
