#include "app/MainFrame.h"
#include "app/SfpApp.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    CSfpApp app;
    app.m_commandLine = QApplication::arguments().mid(1).join(QLatin1Char(' '));
    QApplication::setQuitOnLastWindowClosed(false);
    app.Initialize();
    QObject::connect(app.m_pMainWnd, &QObject::destroyed, &qtApp, &QApplication::quit);
    return QApplication::exec();
}
