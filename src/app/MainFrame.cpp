#include "app/MainFrame.h"

#include "app/AboutDlg.h"
#include "app/CommandIds.h"
#include "app/HelpWindow.h"
#include "app/MainMenu.h"
#include "app/SfpApp.h"
#include "histogram/Pan1Obj.h"
#include "instrument/CallInstrument.h"
#include "panels/ReadObj.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "resources/StringTable.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

int g_markedPanelItem = ID_PANELS_HISTOGRAM;

platform::Rect FrameStartRect(int desktopWidth, int desktopHeight) {
    const int left = (desktopWidth - kFrameWidth) / 2;
    const int top = (desktopHeight - kFrameHeight) / 2;
    return {left, top, left + kFrameWidth, top + kFrameHeight};
}

CMainFrame::CMainFrame()
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_bInTimer = 0;
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    const platform::Rect start = FrameStartRect(desktop.width(), desktop.height());
    setWindowTitle(LoadStr(IDS_MAINFRAME_TITLE));
    move(start.left, start.top);
    setFixedSize(start.Width(), start.Height());
    BuildMenu();
    connect(&m_autoUpdateTimer, &QTimer::timeout, this, &CMainFrame::OnTimer);
}

CMainFrame::~CMainFrame() {
    TearDown();
}

// Closing the window (System > Exit or the close box) ends the program at once: nothing
// may read or report once the window has gone. Only the empty window object itself waits
// for the event loop, which is still inside the menu that ran Exit.
void CMainFrame::closeEvent(QCloseEvent* event) {
    TearDown();
    QMainWindow::closeEvent(event);
}

// In this order: the timer, the help window, the form, the panels head to tail, then the
// instrument, which releases the driver library.
void CMainFrame::TearDown() {
    if (m_bTornDown) {
        return;
    }
    m_bTornDown = true;
    m_autoUpdateTimer.stop();
    delete m_helpWindow.data();
    delete takeCentralWidget();
    CSfpApp* app = GetSfpApp();
    while (!app->m_panels.empty()) {
        app->m_panels.pop_front();
    }
    app->m_pCurrentPanel = nullptr;
    app->m_pInstrument.reset();
    app->m_pMainWnd = nullptr;
}

void CMainFrame::StopAutoUpdateAfterFailure() {
    if (m_bInTimer != 0 && GetSfpApp()->m_bAutoUpdate) {
        OnAutoUpdate();
    }
}

void CMainFrame::BuildMenu() {
    std::map<QString, QMenu*> popups;
    for (const MenuItemTemplate& item : kMainMenu) {
        QMenu*& popup = popups[QString::fromLatin1(item.popup)];
        if (popup == nullptr) {
            popup = menuBar()->addMenu(QString::fromLatin1(item.popup));
        }
        if (item.text == nullptr) {
            popup->addSeparator();
            continue;
        }
        QAction* action = popup->addAction(QString::fromLatin1(item.text));
        action->setData(item.id);
        action->setCheckable(item.id == ID_SYSTEM_AUTOUPDATE || item.id == ID_PANELS_HISTOGRAM ||
                             item.id == ID_PANELS_READINGS);
        // Check marks follow the program's state, not the click.
        connect(action, &QAction::triggered, this, [this, action, id = item.id] {
            action->setChecked(!action->isChecked());
            OnCommand(id);
        });
        m_actions[item.id] = action;
    }
}

QAction* CMainFrame::MenuAction(int commandId) const {
    const auto it = m_actions.find(commandId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CheckMenuItem(int id, bool checked) {
    if (QAction* action = MenuAction(id)) {
        action->setChecked(checked);
    }
}

void CMainFrame::OnCommand(int id) {
    switch (id) {
    case ID_SYSTEM_SELFTEST:
        OnSelfTest();
        break;
    case ID_SYSTEM_AUTOUPDATE:
        OnAutoUpdate();
        break;
    case ID_SYSTEM_RESET:
        OnReset();
        break;
    case ID_HELP_CONTENTS:
        OnHelpContents();
        break;
    case ID_HELP_ABOUT:
        OnAbout();
        break;
    case ID_SYSTEM_EXIT:
        OnExit();
        break;
    case ID_PANELS_HISTOGRAM:
        ShowPanel(ID_PANELS_HISTOGRAM, IDS_MAIN_PANEL);
        break;
    case ID_PANELS_READINGS:
        ShowPanel(ID_PANELS_READINGS, IDS_READINGS_PANEL);
        break;
    default:
        break;
    }
}

void CMainFrame::StartUp() {
    platform::WaitCursor wait;
    CSfpApp* app = GetSfpApp();
    app->DiscoverInstrument();
    app->m_panels.push_back(std::make_unique<CPan1Obj>());
    app->m_panels.push_back(std::make_unique<CReadObj>());
    SetTimer(IDT_AUTOUPDATE, kAutoUpdatePeriodMs);
    ShowPanel(ID_PANELS_HISTOGRAM, IDS_MAIN_PANEL);
    wait.Restore();
    show();
}

void CMainFrame::ShowPanel(int commandId, int nameStringId) {
    CheckMenuItem(g_markedPanelItem, false);
    g_markedPanelItem = commandId;
    CheckMenuItem(g_markedPanelItem, true);
    CSfpApp* app = GetSfpApp();
    CPanel* panel = app->FindPanel(LoadStr(nameStringId));
    if (app->m_pCurrentPanel != nullptr) {
        app->m_pCurrentPanel->CloseForm();
    }
    if (panel != nullptr) {
        panel->OpenForm();
    }
}

void CMainFrame::SetTimer(int, int periodMs) {
    m_autoUpdateTimer.start(periodMs);
}

void CMainFrame::KillTimer(int) {
    m_autoUpdateTimer.stop();
}

void CMainFrame::OnTimer() {
    if (m_bInTimer != 0) {
        return;
    }
    m_bInTimer = 1;
    CSfpApp* app = GetSfpApp();
    const std::uint32_t now = m_tickSource();
    if (static_cast<std::uint32_t>(now - app->m_lastUpdateTick) >= app->m_updateInterval) {
        for (const auto& panel : app->m_panels) {
            panel->Update();
        }
        app->m_lastUpdateTick = m_tickSource();
    }
    m_bInTimer = 0;
}

void CMainFrame::OnSelfTest() {
    QString message;
    const bool passed = CallInstrument(
        [&](CInstrument& instrument) {
            int result = 0; // the self test's code; the operator sees its text
            const char* text = instrument.SelfTest(&result);
            message = QString::fromLocal8Bit(text != nullptr ? text : "");
        },
        kShowWaitCursor);
    if (passed) {
        platform::SfpMessageBox(message);
    }
}

void CMainFrame::OnAutoUpdate() {
    CSfpApp* app = GetSfpApp();
    app->m_bAutoUpdate = !app->m_bAutoUpdate;
    CheckMenuItem(ID_SYSTEM_AUTOUPDATE, app->m_bAutoUpdate);
}

void CMainFrame::OnReset() {
    CSfpApp* app = GetSfpApp();
    if (app->m_bAutoUpdate) {
        OnAutoUpdate();
    }
    CallInstrument([](CInstrument& instrument) { instrument.Reset(); });
}

void CMainFrame::OnHelpContents() {
    auto* help = qobject_cast<CHelpWindow*>(m_helpWindow.data());
    if (help == nullptr) {
        help = new CHelpWindow;
        m_helpWindow = help;
    }
    help->ShowContents();
}

void CMainFrame::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::OnExit() {
    close();
}
