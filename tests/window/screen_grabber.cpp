// Saves a rectangle of the screen as PNG: the last step of `make screenshot`.
//
// usage: screen_grabber <x> <y> <width> <height> <output.png>

#include <array>
#include <cstdio>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s <x> <y> <width> <height> <output.png>\n", argv[0]);
        return 2;
    }
    std::array<int, 4> rect{};
    for (std::size_t i = 0; i < rect.size(); ++i) {
        bool ok = false;
        rect[i] = QString::fromLocal8Bit(argv[i + 1]).toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "screen_grabber: not a number: %s\n", argv[i + 1]);
            return 2;
        }
    }
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "screen_grabber: no screen\n");
        return 1;
    }
    const QPixmap shot = screen->grabWindow(0, rect[0], rect[1], rect[2], rect[3]);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[5]), "PNG")) {
        std::fprintf(stderr, "screen_grabber: cannot write %s\n", argv[5]);
        return 1;
    }
    return 0;
}
