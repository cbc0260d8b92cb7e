// ksm7720-icons DIRECTORY SIZE...: writes the program's icon as DIRECTORY/NxN/apps/
// ksm7720-sfp.png for every SIZE (a multiple of 16), the layout of the desktop's hicolor
// icon theme. Run at build time, on the offscreen platform.
#include "resources/Bitmaps.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: ksm7720-icons DIRECTORY SIZE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size % 16 != 0) {
            std::fprintf(stderr, "ksm7720-icons: %s is not a multiple of 16\n", argv[i]);
            return 2;
        }
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString file = folder + QStringLiteral("/ksm7720-sfp.png");
        if (!QDir().mkpath(folder) || !AppIconPixmap(size).save(file)) {
            std::fprintf(stderr, "ksm7720-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
