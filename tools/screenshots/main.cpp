// ksm7720-shots [directory]: starts the program on the emulated instrument, drives it as
// an operator would and saves a picture of every panel and dialog as PNG files in the
// directory (default docs/images). Message boxes are recorded, not shown, so nothing
// waits for a click; run it with QT_QPA_PLATFORM=offscreen.
//
// ksm7720-shots --live [directory]: starts the program as it starts for the operator,
// finding its libraries as it always does (on the simulated bench: the environment that
// scripts/sim.sh prints), and saves the live histogram panel as main-live.png.
#include "app/CommandIds.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "platform/DialogBuilder.h"
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// Ids of the buttons the shots press on the two panel forms.
constexpr int kTakeReading = 1091;
constexpr int kCurrentType = 1110;
constexpr int kHistReset = 1084;
constexpr int kSetup = 1086;

class CShooter {
public:
    explicit CShooter(const QString& directory) : m_dir(directory) {}

    void Save(QWidget* window, const QString& name) {
        QCoreApplication::processEvents();
        const QString path = m_dir.filePath(name);
        if (window == nullptr || !window->grab().save(path)) {
            std::fprintf(stderr, "ksm7720-shots: could not save %s\n", qPrintable(path));
            m_failed = true;
            return;
        }
        std::printf("%s\n", qPrintable(path));
    }

    // Runs open, which is to open a modal dialog; saves the dialog and closes it.
    void SaveModal(const std::function<void()>& open, const QString& name) {
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || seen) {
                return;
            }
            seen = true;
            Save(dialog, name);
            dialog->reject();
        });
        poll.start(10);
        open();
        if (!seen) {
            std::fprintf(stderr, "ksm7720-shots: no dialog opened for %s\n", qPrintable(name));
            m_failed = true;
        }
    }

    // Clicks a button of the panel on screen.
    void Click(CMainFrame* frame, int id) {
        if (auto* button = platform::DlgItemAs<QAbstractButton>(frame->centralWidget(), id)) {
            button->click();
            return;
        }
        std::fprintf(stderr, "ksm7720-shots: no button %d on the panel\n", id);
        m_failed = true;
    }

    bool Failed() const { return m_failed; }

private:
    QDir m_dir;
    bool m_failed = false;
};

void Command(CMainFrame* frame, int id) {
    frame->MenuAction(id)->trigger();
}

QWidget* HelpWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<CHelpWindow*>(window) != nullptr) {
            return window;
        }
    }
    return nullptr;
}

} // namespace

// The live histogram panel; false when the program did not come up live.
bool SaveLive(CShooter& shots) {
    CSfpApp app;
    app.Initialize();
    const bool live = app.m_statusColor == platform::Rgb(0, 255, 0); // the green lamp
    if (live) {
        shots.Save(app.m_pMainWnd, "main-live.png");
    } else {
        std::fprintf(stderr, "ksm7720-shots: the program came up emulated\n");
    }
    Command(app.m_pMainWnd, ID_SYSTEM_EXIT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return live && !shots.Failed();
}

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const bool live = args.removeAll(QStringLiteral("--live")) > 0;
    const QString directory = args.value(0, QStringLiteral("docs/images"));
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "ksm7720-shots: cannot create %s\n", qPrintable(directory));
        return 1;
    }

    platform::MessageBoxRecorder boxes;
    if (live) {
        CShooter shots(directory);
        const bool saved = SaveLive(shots);
        for (const QString& box : boxes.Boxes()) {
            std::printf("message box: %s\n", qPrintable(box));
        }
        return saved ? 0 : 1;
    }
    CSfpApp app;
    // Libraries that cannot exist: the program comes up on the emulated instrument even
    // where the simulated bench's stand-ins are on the library path.
    app.m_visaLibraryName = "/nonexistent/libvisa.so";
    app.m_driverLibraryName = "/nonexistent/libksm7720_32.so";
    app.Initialize();
    CMainFrame* frame = app.m_pMainWnd;
    CShooter shots(directory);

    shots.Save(frame, "main-histogram.png");
    shots.SaveModal([&] { shots.Click(frame, kSetup); }, "histogram-setup.png");
    shots.SaveModal([&] { shots.Click(frame, kHistReset); }, "history-reset.png");

    Command(frame, ID_PANELS_READINGS);
    shots.Click(frame, kTakeReading);
    shots.Save(frame, "readings-temp.png");
    shots.Click(frame, kCurrentType);
    shots.Click(frame, kTakeReading);
    shots.Save(frame, "readings-current.png");

    shots.SaveModal([&] { Command(frame, ID_HELP_ABOUT); }, "about.png");
    Command(frame, ID_HELP_CONTENTS);
    shots.Save(HelpWindow(), "help.png");

    for (const QString& box : boxes.Boxes()) {
        std::printf("message box: %s\n", qPrintable(box));
    }
    Command(frame, ID_SYSTEM_EXIT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shots.Failed() ? 1 : 0;
}
