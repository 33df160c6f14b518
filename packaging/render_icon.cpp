// Renders the pixel-art icon at the sizes a desktop theme asks for. Nearest-neighbour scaling
// only: smoothing would blur the chequered frame and the dithering into mud.
//
// usage: render_icon <icon.xpm> <output-dir> <size>...   writes <output-dir>/<size>.png
//        render_icon --ico <icon.xpm> <output.ico>       the Windows icon resource

#include <cstdio>
#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

namespace {

QImage Scaled(const QImage& icon, int size) {
    return icon.convertToFormat(QImage::Format_ARGB32)
        .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void AppendLittleEndian(QByteArray& bytes, unsigned value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFFU));
    }
}

// An .ico file holding the picture once, at its own 32 x 32, as PNG (which Windows reads in
// icon resources since Vista): the header, one directory entry, the image.
bool WriteIco(const QImage& icon, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!Scaled(icon, 32).save(&buffer, "PNG")) {
        return false;
    }
    QByteArray ico;
    AppendLittleEndian(ico, 0, 2);  // reserved
    AppendLittleEndian(ico, 1, 2);  // type: icon
    AppendLittleEndian(ico, 1, 2);  // one image
    AppendLittleEndian(ico, 32, 1);
    AppendLittleEndian(ico, 32, 1);
    AppendLittleEndian(ico, 0, 1);   // no palette: the PNG has its own colours
    AppendLittleEndian(ico, 0, 1);   // reserved
    AppendLittleEndian(ico, 1, 2);   // colour planes
    AppendLittleEndian(ico, 32, 2);  // bits per pixel
    AppendLittleEndian(ico, static_cast<unsigned>(png.size()), 4);
    AppendLittleEndian(ico, 6 + 16, 4);  // the image follows header and directory
    ico.append(png);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size();
}

}  // namespace

int main(int argc, char** argv) {
    const bool ico = argc == 4 && std::strcmp(argv[1], "--ico") == 0;
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s <icon.xpm> <output-dir> <size>...\n"
                     "       %s --ico <icon.xpm> <output.ico>\n",
                     argv[0], argv[0]);
        return 2;
    }
    const char* source = ico ? argv[2] : argv[1];
    const QImage icon(QString::fromLocal8Bit(source));
    if (icon.isNull()) {
        std::fprintf(stderr, "render_icon: cannot read %s\n", source);
        return 1;
    }
    if (ico) {
        if (!WriteIco(icon, QString::fromLocal8Bit(argv[3]))) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", argv[3]);
            return 1;
        }
        return 0;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "render_icon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString path = QStringLiteral("%1/%2.png").arg(outputDir).arg(size);
        if (!Scaled(icon, size).save(path, "PNG")) {
            std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
