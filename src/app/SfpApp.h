#pragma once
// The application object: the one root of the program's shared state. Everything that
// needs the instrument, the panels or the auto-update settings reaches them through
// GetSfpApp().
#include "platform/Color.h"

#include <QString>

#include <cstdint>
#include <list>
#include <memory>
#include <string>

class CInstrument;
class CMainFrame;
class CPanel;

class CSfpApp {
public:
    CSfpApp();
    ~CSfpApp();
    CSfpApp(const CSfpApp&) = delete;
    CSfpApp& operator=(const CSfpApp&) = delete;

    // Start-up: dialog colours, the main frame and its StartUp. Always true.
    bool Initialize();
    // The first panel of m_panels whose name equals name exactly, or nullptr.
    CPanel* FindPanel(const QString& name) const;

    // Discovery: from nothing to an instrument, live or emulated. False, doing nothing,
    // when there already is one.
    bool DiscoverInstrument();
    void UseEmulatedInstrument();

    std::unique_ptr<CInstrument> m_pInstrument;
    platform::ColorRef m_statusColor = platform::Rgb(0, 0, 0);
    std::list<std::unique_ptr<CPanel>> m_panels;
    CPanel* m_pCurrentPanel = nullptr;
    bool m_bAutoUpdate = false;
    std::uint32_t m_lastUpdateTick = 0;
    std::uint32_t m_updateInterval = 0;
    QString m_instrumentName;

    CMainFrame* m_pMainWnd = nullptr; // owned by Qt: deletes itself when closed
    QString m_commandLine;            // the arguments after the program's name, blank-separated
    // The two outside libraries: when set, only that file or name; when empty, the library
    // search (core/LibrarySearch.h).
    std::string m_visaLibraryName;
    std::string m_driverLibraryName;
};

// The application object, or nullptr before it is constructed and after it is gone.
CSfpApp* GetSfpApp();
