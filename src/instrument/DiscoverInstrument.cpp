// Discovery as the panel shows it (CSfpApp::DiscoverInstrument): the core decides, the
// panel tells the operator once with a message box, lets the operator choose in the Select
// Instrument dialog, keeps the hourglass up while it searches and sets the status colour.
// Whenever something is missing or fails, the panel comes up on the emulated instrument.
#include "instrument/DiscoverInstrument.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "core/LibrarySearch.h"
#include "instrument/CommandLineSwitches.h"
#include "instrument/EmulatedInstrument.h"
#include "instrument/SelectInstrumentDlg.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "resources/StringTable.h"

#include <QGuiApplication>

namespace {

const platform::ColorRef kEmulatedColor = platform::Rgb(64, 64, 64);
const platform::ColorRef kLiveColor = platform::Rgb(0, 255, 0);

int MessageOf(DiscoveryFailure failure) {
    switch (failure) {
    case DiscoveryFailure::NoVisaLibrary:
        return IDS_NO_VISA_DLL;
    case DiscoveryFailure::NoDriverLibrary:
        return IDS_NO_DRIVER_DLL;
    case DiscoveryFailure::ResourceManager:
        return IDS_OPEN_RM_FAILED;
    case DiscoveryFailure::InitFailed:
        return IDS_INIT_FAILED;
    case DiscoveryFailure::BadDriver:
        break;
    }
    return IDS_BAD_DRIVER;
}

// The operator is told why, and the panel comes up emulated.
void FallBack(CSfpApp& app, int stringId) {
    platform::SfpMessageBox(LoadStr(stringId));
    app.UseEmulatedInstrument();
}

// The names to try for one library: the one set on the application, or the search.
std::vector<std::string>
LibraryNames(const std::string& chosen,
             std::vector<std::string> (*search)(const core::Environment&)) {
    return chosen.empty() ? search(core::ProcessEnvironment) : std::vector<std::string>{chosen};
}

} // namespace

QString InstrumentNameFromResource(std::string_view resourceName) {
    return QString::fromLocal8Bit(InstrumentName(resourceName));
}

bool CSfpApp::DiscoverInstrument() {
    if (m_pInstrument) {
        return false;
    }
    m_instrumentName = QStringLiteral("Emulated");
    platform::WaitCursor wait;
    const std::string commandLine = LowerCaseCopy(m_commandLine);

    // Released at the end of every road, after the emulation step where there is one.
    CDiscovery discovery(LibraryNames(m_visaLibraryName, core::VisaLibraryCandidates),
                         LibraryNames(m_driverLibraryName, core::DriverLibraryCandidates));
    if (const auto failure = discovery.Open()) {
        FallBack(*this, MessageOf(*failure));
        return true;
    }
    std::string resource;
    if (HasSwitch(commandLine, 'a')) {
        resource = DirectResourceName(commandLine);
    } else {
        const bool noIdentification = HasSwitch(commandLine, 'n');
        const auto candidates =
            FindCandidates(discovery.Visa(), discovery.ResourceManager(), noIdentification);
        if (!candidates || candidates->empty()) {
            FallBack(*this, IDS_NO_INSTRUMENT);
            return true;
        }
        const int choice = AutomaticChoice(*candidates, noIdentification);
        if (choice >= 0) {
            resource = (*candidates)[choice];
        } else {
            CSelectInstrumentDlg dialog(m_pMainWnd, *candidates);
            // The operator chooses with the ordinary pointer, not the hourglass.
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
            const int outcome = dialog.exec();
            QGuiApplication::restoreOverrideCursor();
            if (outcome != QDialog::Accepted) {
                FallBack(*this, IDS_SELECT_CANCELLED);
                return true;
            }
            resource = dialog.m_strSelected;
        }
    }
    m_instrumentName = InstrumentNameFromResource(resource);
    auto connection = discovery.Connect(resource, {.reset = HasSwitch(commandLine, 'r')});
    if (!connection.instrument) {
        FallBack(*this, MessageOf(connection.failure));
        return true;
    }
    m_statusColor = kLiveColor;
    m_pInstrument = std::move(connection.instrument);
    return true;
}

void CSfpApp::UseEmulatedInstrument() {
    m_statusColor = kEmulatedColor;
    m_pInstrument = std::make_unique<CEmulatedInstrument>();
}
