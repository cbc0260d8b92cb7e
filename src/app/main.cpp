#include "app/InfoOptions.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"

#include <QApplication>
#include <QStringList>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Qt stops the whole program with an abort when it has no display to open. Where there is
// plainly none (no X or Wayland display named, no other platform chosen), the panel says so
// and fails with status 1 instead.
bool DisplayNamed(int argc, char* argv[]) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer before anything touches the display or an instrument.
    if (const auto text = InfoOptionText(argc, argv)) {
        std::fputs(text->c_str(), stdout);
        return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
    }
    if (!DisplayNamed(argc, argv)) {
        std::fputs("ksm7720-sfp: no display to show the panel on: neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set (ksm7720 reaches the mainframe without one)\n",
                   stderr);
        return 1;
    }
    // The switches are searched in the whole command line as typed, so it is read before
    // QApplication takes out the options it knows (-reverse, -name, ...).
    QStringList typed;
    for (int i = 1; i < argc; ++i) {
        typed << QString::fromLocal8Bit(argv[i]);
    }
    QApplication qtApp(argc, argv);
    // Lets the desktop match the window to its menu entry (and its icon, under Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ksm7720.sfp"));
    // Numbers are read and shown as the C library does in its own locale, whatever the
    // desktop's language: "7.5", never "7,5".
    std::setlocale(LC_NUMERIC, "C");
    CSfpApp app;
    app.m_commandLine = typed.join(QLatin1Char(' '));
    QApplication::setQuitOnLastWindowClosed(false);
    app.Initialize();
    QObject::connect(app.m_pMainWnd, &QObject::destroyed, &qtApp, &QApplication::quit);
    return QApplication::exec();
}
