#pragma once
// A running panel for a test: the application object with a test instrument already in
// place (so start-up skips discovery), the main frame started and shown, and every
// message box recorded instead of shown. Destroying the fixture destroys the frame.
#include "TestInstrument.h"
#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "platform/MessageBox.h"

#include <memory>

class AppFixture {
public:
    explicit AppFixture(
        std::unique_ptr<CInstrument> instrument = std::make_unique<CTestInstrument>());
    ~AppFixture();

    CSfpApp app;
    platform::MessageBoxRecorder boxes;

    CMainFrame* Frame() const { return app.m_pMainWnd; }
    CTestInstrument* Instrument() const;
    // Runs a menu command as the operator would.
    void Command(int id) const;
};
