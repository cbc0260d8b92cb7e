#include "resources/StringTable.h"

#include "core/Discovery.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char*>, 14> kStrings{{
    {IDS_MAIN_PANEL, "Main Panel"},
    {IDS_TIME_OUT, "Time Out !"},
    {IDS_INSTRUMENT_REPORTS_ERROR, "Instrument reports error: %s"},
    {IDS_IDN_PREFIX, kIdnPrefix},
    {IDS_BAD_DRIVER, "Bad driver .dll file."},
    {IDS_READINGS_PANEL, "Readings Panel"},
    {IDS_MAINFRAME_TITLE, "KS M7720 Main Frame"},
    {IDS_NO_DRIVER_DLL,
     "Could not find the instrument driver dll.  SFP coming up in emulation mode."},
    {IDS_NO_VISA_DLL, "Could not find VISA.DLL.  Coming up in emulation mode."},
    {IDS_OPEN_RM_FAILED, "Open of default RM failed, creating non live panel."},
    {IDS_NO_INSTRUMENT, "Did not find an KS M7720 instrument.  SFP coming up in emulation mode.."},
    {IDS_SELECT_CANCELLED, "Cancel will create non live panel."},
    {IDS_INIT_FAILED, "Instrument  _init failed!  Creating non live panel."},
    {IDS_APP_TITLE, "KS M7720 Soft Front Panel"},
}};

} // namespace

QString LoadStr(int id) {
    for (const auto& [key, text] : kStrings) {
        if (key == id) {
            return QString::fromLatin1(text);
        }
    }
    return {};
}
