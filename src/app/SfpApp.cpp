#include "app/SfpApp.h"

#include "app/MainFrame.h"
#include "core/Instrument.h"
#include "panels/Panel.h"
#include "resources/Bitmaps.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

namespace {
CSfpApp* g_app = nullptr;
}

CSfpApp* GetSfpApp() {
    return g_app;
}

CSfpApp::CSfpApp() {
    g_app = this;
}

CSfpApp::~CSfpApp() {
    delete m_pMainWnd;
    g_app = nullptr;
}

bool CSfpApp::Initialize() {
    // The classic 3D look the panel was drawn for, whatever the desktop's theme; then
    // dialogs and forms in light grey with black text, edit fields and lists as they are.
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) {
        QApplication::setStyle(classic);
    }
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    // The classic system colours: button face, its highlights and shadows.
    palette.setColor(QPalette::Button, QColor(192, 192, 192));
    palette.setColor(QPalette::Light, QColor(255, 255, 255));
    palette.setColor(QPalette::Midlight, QColor(223, 223, 223));
    palette.setColor(QPalette::Mid, QColor(160, 160, 160));
    palette.setColor(QPalette::Dark, QColor(128, 128, 128));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0));
    QApplication::setPalette(palette);
    // The program's icon on the frame, every dialog and every message box.
    QApplication::setWindowIcon(AppIcon());

    m_pMainWnd = new CMainFrame;
    m_pMainWnd->StartUp();
    return true;
}

CPanel* CSfpApp::FindPanel(const QString& name) const {
    for (const auto& panel : m_panels) {
        if (panel->m_strName == name) {
            return panel.get();
        }
    }
    return nullptr;
}
