#include "app/InfoOptions.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"

#include <QApplication>
#include <QStringList>

#include <clocale>
#include <cstdio>

int main(int argc, char* argv[]) {
    // --help and --version answer before anything touches the display or an instrument.
    if (const auto text = InfoOptionText(argc, argv)) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }
    // The switches are searched in the whole command line as typed, so it is read before
    // QApplication takes out the options it knows (-reverse, -name, ...).
    QStringList typed;
    for (int i = 1; i < argc; ++i) {
        typed << QString::fromLocal8Bit(argv[i]);
    }
    QApplication qtApp(argc, argv);
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
