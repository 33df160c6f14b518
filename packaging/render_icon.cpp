// Renders the pixel-art icon at the sizes a desktop theme asks for. Nearest-neighbour scaling
// only: smoothing would blur the chequered frame and the dithering into mud.
//
// usage: render_icon <icon.xpm> <output-dir> <size>...   writes <output-dir>/<size>.png

#include <cstdio>

#include <QImage>
#include <QString>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <icon.xpm> <output-dir> <size>...\n", argv[0]);
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "render_icon: bad size %s\n", argv[i]);
            return 2;
        }
        const QImage scaled =
            icon.convertToFormat(QImage::Format_ARGB32)
                .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QString path = QStringLiteral("%1/%2.png").arg(outputDir).arg(size);
        if (!scaled.save(path, "PNG")) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
