// Discovery: from nothing to an instrument. The VISA library and the mainframe's driver
// library are loaded at run time; the VISA resources are searched and identified, the
// operator chooses when the choice is not clear, and the driver opens the mainframe.
// Whenever something is missing or fails, the operator is told once and the panel comes
// up on the emulated instrument.
#include "instrument/Discovery.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "instrument/DriverEntryPoints.h"
#include "instrument/DriverInstrument.h"
#include "instrument/EmulatedInstrument.h"
#include "instrument/SelectInstrumentDlg.h"
#include "instrument/VisaEntryPoints.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "resources/StringTable.h"

#include <QGuiApplication>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

namespace {

const platform::ColorRef kEmulatedColor = platform::Rgb(64, 64, 64);
const platform::ColorRef kLiveColor = platform::Rgb(0, 255, 0);

constexpr const char* kSearchExpression = "?*INSTR";
constexpr visa::ViByte kIdnQuery[] = {'*', 'I', 'D', 'N', '?'};
constexpr visa::ViUInt32 kIdnReplyMax = 100;
constexpr visa::ViUInt16 kManufacturerId = 3372;
constexpr visa::ViUInt16 kModelCode = 2861;
constexpr std::size_t kInstrSuffixLimit = 99; // "::INSTR" is cut only at positions 1..99

char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

struct LibraryRelease {
    void operator()(void* library) const { platform::FreeLibrary(library); }
};
using LibraryPtr = std::unique_ptr<void, LibraryRelease>;

// The operator is told why, and the panel comes up emulated.
void FallBack(CSfpApp& app, int stringId) {
    platform::SfpMessageBox(LoadStr(stringId));
    app.UseEmulatedInstrument();
}

// A 16-bit attribute, read through a buffer wide enough for any attribute; nothing when
// the call does not answer with exactly 0.
std::optional<visa::ViUInt16> Attribute16(const visa::VisaEntryPoints& vi, visa::ViSession session,
                                          visa::ViAttr attribute) {
    std::array<unsigned char, visa::kAttrValueSize> value{};
    if (vi.getAttribute(session, attribute, value.data()) != visa::VI_SUCCESS) {
        return std::nullopt;
    }
    visa::ViUInt16 result = 0;
    std::memcpy(&result, value.data(), sizeof result); // the low 16 bits on this platform
    return result;
}

bool IdentifiesAsMainframe(const visa::VisaEntryPoints& vi, visa::ViSession session) {
    visa::ViUInt32 count = 0;
    if (vi.write(session, kIdnQuery, sizeof kIdnQuery, &count) < 0) {
        return false;
    }
    std::array<visa::ViByte, kIdnReplyMax> reply{};
    count = 0;
    if (vi.read(session, reply.data(), kIdnReplyMax, &count) < 0) {
        return false;
    }
    const QByteArray prefix = LoadStr(IDS_IDN_PREFIX).toLatin1();
    return IdentificationMatches(reply.data(), std::min<std::size_t>(count, reply.size()),
                                 std::string_view(prefix.constData(), prefix.size()));
}

bool IsMainframeCard(const visa::VisaEntryPoints& vi, visa::ViSession session) {
    const auto manufacturer = Attribute16(vi, session, visa::VI_ATTR_MANF_ID);
    if (!manufacturer) {
        return false;
    }
    const auto model = Attribute16(vi, session, visa::VI_ATTR_MODEL_CODE);
    return model && *model == kModelCode && *manufacturer == kManufacturerId;
}

// Opens the resource, looks at its interface and identity, and closes it again.
bool ProbeResource(const visa::VisaEntryPoints& vi, visa::ViSession rm, const char* descriptor,
                   bool acceptAny) {
    visa::ViSession session = 0;
    const visa::ViStatus opened = vi.open(rm, descriptor, 0, 0, &session);
    if (opened < 0) {
        return false;
    }
    bool accepted = false;
    if (opened == visa::VI_SUCCESS) {
        if (const auto type = Attribute16(vi, session, visa::VI_ATTR_INTF_TYPE)) {
            if (acceptAny) {
                accepted = true;
            } else if (*type == visa::VI_INTF_GPIB) {
                accepted = IdentifiesAsMainframe(vi, session);
            } else if (*type == visa::VI_INTF_VXI || *type == visa::VI_INTF_GPIB_VXI) {
                accepted = IsMainframeCard(vi, session);
            }
        }
    }
    vi.close(session);
    return accepted;
}

} // namespace

// The descriptors of the accepted resources in search order; nothing when the search
// itself failed.
std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny) {
    std::array<char, visa::kFindBufLen> descriptor{};
    visa::ViFindList list = 0;
    visa::ViUInt32 matches = 0;
    if (vi.findRsrc(rm, kSearchExpression, &list, &matches, descriptor.data()) < 0) {
        return std::nullopt;
    }
    std::vector<std::string> candidates;
    for (visa::ViUInt32 i = 0; i < matches; ++i) {
        // A list that ends before its count says has nothing more to probe; a sound
        // library never gets here, a broken one must not keep discovery spinning.
        if (i > 0 && vi.findNext(list, descriptor.data()) < 0) {
            break;
        }
        descriptor.back() = '\0';
        if (ProbeResource(vi, rm, descriptor.data(), acceptAny)) {
            candidates.emplace_back(descriptor.data());
        }
    }
    vi.close(list);
    return candidates;
}

std::string LowerCaseCopy(const QString& commandLine) {
    std::string copy = commandLine.toLocal8Bit().toStdString();
    std::transform(copy.begin(), copy.end(), copy.begin(), ToLower);
    return copy;
}

bool HasSwitch(std::string_view lowerCommandLine, char letter) {
    const char slash[] = {'/', letter, '\0'};
    const char dash[] = {'-', letter, '\0'};
    return lowerCommandLine.find(slash) != std::string_view::npos ||
           lowerCommandLine.find(dash) != std::string_view::npos;
}

std::string DirectResourceName(std::string_view lowerCommandLine) {
    std::size_t at = lowerCommandLine.find("/a");
    if (at == std::string_view::npos) {
        at = lowerCommandLine.find("-a");
    }
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view rest = lowerCommandLine.substr(at + 2);
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    std::string name(rest.substr(0, rest.find(' ')));
    std::transform(name.begin(), name.end(), name.begin(), ToUpper);
    return name;
}

QString InstrumentNameFromResource(std::string_view resourceName) {
    std::string name(resourceName);
    std::transform(name.begin(), name.end(), name.begin(), ToUpper);
    const std::size_t at = name.find("::INSTR");
    if (at >= 1 && at <= kInstrSuffixLimit) {
        name.resize(at);
    }
    return QString::fromLocal8Bit(name);
}

bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix) {
    return received >= prefix.size() && std::memcmp(reply, prefix.data(), prefix.size()) == 0;
}

int AutomaticChoice(const std::vector<std::string>& candidates, bool noIdentification) {
    if (noIdentification) {
        return -1;
    }
    if (candidates.size() == 1) {
        return 0;
    }
    int vxiCount = 0;
    int vxi = -1;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].find("VXI") != std::string::npos) {
            ++vxiCount;
            vxi = static_cast<int>(i);
        }
    }
    return vxiCount == 1 ? vxi : -1;
}

bool CSfpApp::DiscoverInstrument() {
    if (m_pInstrument) {
        return false;
    }
    m_instrumentName = QStringLiteral("Emulated");
    platform::WaitCursor wait;
    const std::string commandLine = LowerCaseCopy(m_commandLine);

    // Released at the end of every road, after the emulation step where there is one.
    LibraryPtr visaLibrary(platform::LoadLibrary(m_visaLibraryName.c_str()));
    if (!visaLibrary) {
        FallBack(*this, IDS_NO_VISA_DLL);
        return true;
    }
    LibraryPtr driverLibrary(platform::LoadLibrary(m_driverLibraryName.c_str()));
    if (!driverLibrary) {
        FallBack(*this, IDS_NO_DRIVER_DLL);
        return true;
    }
    // A VISA library without every function discovery calls is as good as none.
    visa::VisaEntryPoints vi;
    if (!visa::LookUpVisaEntryPoints(visaLibrary.get(), vi)) {
        FallBack(*this, IDS_NO_VISA_DLL);
        return true;
    }
    visa::ViSession rm = 0;
    if (vi.openDefaultRM(&rm) < 0) {
        FallBack(*this, IDS_OPEN_RM_FAILED);
        return true;
    }
    std::string resource;
    if (HasSwitch(commandLine, 'a')) {
        resource = DirectResourceName(commandLine);
    } else {
        const bool noIdentification = HasSwitch(commandLine, 'n');
        const auto candidates = FindCandidates(vi, rm, noIdentification);
        if (!candidates || candidates->empty()) {
            vi.close(rm);
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
                vi.close(rm);
                FallBack(*this, IDS_SELECT_CANCELLED);
                return true;
            }
            resource = dialog.m_strSelected;
        }
    }
    m_instrumentName = InstrumentNameFromResource(resource);
    ConnectInstrument(resource, driverLibrary.release());
    vi.close(rm);
    return true;
}

void CSfpApp::ConnectInstrument(const std::string& resourceName,
                                platform::LibraryHandle driverLibrary) {
    LibraryPtr driver(driverLibrary);
    const auto init = platform::GetProc<ksm7720::InitFn>(driver.get(), "ksm7720_init");
    const auto timeOut = platform::GetProc<ksm7720::TimeOutFn>(driver.get(), "ksm7720_timeOut");
    // A driver without the two entry points it is opened with is as bad as one missing any
    // other: the same message, rather than a call through a null pointer.
    if (init == nullptr || timeOut == nullptr) {
        FallBack(*this, IDS_BAD_DRIVER);
        return;
    }
    const bool reset = HasSwitch(LowerCaseCopy(m_commandLine), 'r');
    std::string name = resourceName; // the driver takes a writable text
    ksm7720::ViSession handle = 0;
    if (init(name.data(), visa::VI_FALSE, reset ? visa::VI_TRUE : visa::VI_FALSE, &handle) < 0) {
        FallBack(*this, IDS_INIT_FAILED);
        return;
    }
    m_statusColor = kLiveColor;
    timeOut(handle, ksm7720::kDriverTimeOut);
    try {
        m_pInstrument = std::make_unique<CDriverInstrument>(handle, driver.get());
        driver.release(); // the instrument owns it now
    } catch (const CInstrumentException&) {
        FallBack(*this, IDS_BAD_DRIVER);
    }
}

void CSfpApp::UseEmulatedInstrument() {
    m_statusColor = kEmulatedColor;
    m_pInstrument = std::make_unique<CEmulatedInstrument>();
}
