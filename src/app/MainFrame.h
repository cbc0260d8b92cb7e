#pragma once
// The main window: a fixed-size frame whose client area is always the current panel's
// form. It connects the instrument, creates the panels, switches them from its menu,
// runs the auto-update timer and tears everything down in order when it is destroyed.
#include "platform/Geometry.h"
#include "platform/TickSource.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <map>

class QAction;

constexpr int IDT_AUTOUPDATE = 1;
constexpr int kAutoUpdatePeriodMs = 300;
constexpr int kFrameWidth = 402;
constexpr int kFrameHeight = 404;

// The command id of the Panels item that carries the check mark.
extern int g_markedPanelItem;

// Where the frame starts: 402 x 404, centred on a desktop of the given size.
platform::Rect FrameStartRect(int desktopWidth, int desktopHeight);

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    void StartUp();
    // Marks the menu item, closes the current form and opens the named panel's form.
    void ShowPanel(int commandId, int nameStringId);

    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    bool IsTimerRunning() const { return m_autoUpdateTimer.isActive(); }
    int TimerPeriod() const { return m_autoUpdateTimer.interval(); }

    QAction* MenuAction(int commandId) const;
    void SetTickSource(platform::TickSource source) { m_tickSource = std::move(source); }

    // The auto-update pass, run on every timer tick.
    void OnTimer();
    // A reading failed. When the auto-update pass took it, auto update goes off (its check
    // mark too) before the failure is shown, so the operator answers one report and decides
    // what comes next instead of facing a new box after every tick.
    void StopAutoUpdateAfterFailure();

    int m_bInTimer = 0; // drops ticks that arrive while a pass is running

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void TearDown();
    void BuildMenu();
    void OnCommand(int id);
    void CheckMenuItem(int id, bool checked);
    void OnSelfTest();
    void OnAutoUpdate();
    void OnReset();
    void OnHelpContents();
    void OnAbout();
    void OnExit();

    QTimer m_autoUpdateTimer;
    platform::TickSource m_tickSource = platform::GetTickCount;
    std::map<int, QAction*> m_actions;
    QPointer<QWidget> m_helpWindow;
    bool m_bTornDown = false;
};
