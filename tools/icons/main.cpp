// ksm7720-icons DIRECTORY SIZE...: writes the program's icon as DIRECTORY/NxN/apps/
// ksm7720-sfp.png for every SIZE (a multiple of 16), and as the scalable
// DIRECTORY/scalable/apps/ksm7720-sfp.svg, the layout of the desktop's hicolor icon theme.
// Run at build time, on the offscreen platform.
#include "resources/Bitmaps.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

namespace {

// The 16 x 16 picture as SVG squares, one per run of equal pixels in a row, so it scales
// to any size with its edges sharp.
QByteArray IconSvg() {
    const QImage image = AppIconPixmap(16).toImage().convertToFormat(QImage::Format_ARGB32);
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                     "viewBox=\"0 0 16 16\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width();) {
            const QRgb pixel = image.pixel(x, y);
            int end = x + 1;
            while (end < image.width() && image.pixel(end, y) == pixel) {
                ++end;
            }
            if (qAlpha(pixel) != 0) {
                svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"1\" "
                                      "fill=\"%4\"/>\n")
                           .arg(x)
                           .arg(y)
                           .arg(end - x)
                           .arg(QColor(pixel).name())
                           .toLatin1();
            }
            x = end;
        }
    }
    return svg + "</svg>\n";
}

bool Write(const QString& folder, const QString& name, const QByteArray& bytes) {
    QFile file(folder + u'/' + name);
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: ksm7720-icons DIRECTORY SIZE...\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size % 16 != 0) {
            std::fprintf(stderr, "ksm7720-icons: %s is not a multiple of 16\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(directory).arg(size);
        if (!QDir().mkpath(folder) || !AppIconPixmap(size).save(folder + "/ksm7720-sfp.png")) {
            std::fprintf(stderr, "ksm7720-icons: cannot write into %s\n", qPrintable(folder));
            return 1;
        }
    }
    if (!Write(directory + "/scalable/apps", "ksm7720-sfp.svg", IconSvg())) {
        std::fprintf(stderr, "ksm7720-icons: cannot write the scalable icon\n");
        return 1;
    }
    return 0;
}
