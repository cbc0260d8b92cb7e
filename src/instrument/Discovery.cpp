// Discovery: from nothing to an instrument. The VISA library and the mainframe's
// driver library are loaded at run time; whenever something is missing or fails, the
// operator is told once and the panel comes up on the emulated instrument.
#include "app/SfpApp.h"
#include "instrument/EmulatedInstrument.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "resources/StringTable.h"

namespace {
const platform::ColorRef kEmulatedColor = platform::Rgb(64, 64, 64);
}

bool CSfpApp::DiscoverInstrument() {
    if (m_pInstrument) {
        return false;
    }
    m_instrumentName = QStringLiteral("Emulated");
    platform::WaitCursor wait;

    platform::LibraryHandle visa = platform::LoadLibrary(m_visaLibraryName.c_str());
    if (visa == nullptr) {
        platform::SfpMessageBox(LoadStr(IDS_NO_VISA_DLL));
        UseEmulatedInstrument();
        return true;
    }
    platform::LibraryHandle driver = platform::LoadLibrary(m_driverLibraryName.c_str());
    if (driver == nullptr) {
        platform::SfpMessageBox(LoadStr(IDS_NO_DRIVER_DLL));
        UseEmulatedInstrument();
        platform::FreeLibrary(visa);
        return true;
    }
    // Both libraries are here; until the resource search is in place the panel still
    // comes up emulated, without a message.
    UseEmulatedInstrument();
    platform::FreeLibrary(driver);
    platform::FreeLibrary(visa);
    return true;
}

void CSfpApp::UseEmulatedInstrument() {
    m_statusColor = kEmulatedColor;
    m_pInstrument = std::make_unique<CEmulatedInstrument>();
}
