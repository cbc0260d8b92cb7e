#include "instrument/ReportInstrumentError.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "instrument/Instrument.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"

#include <cstdio>

namespace {

// The formatted text holds at most 300 characters.
QString ErrorBoxText(const char* errorText) {
    const QByteArray format = LoadStr(IDS_INSTRUMENT_REPORTS_ERROR).toLatin1();
    char buffer[301];
    std::snprintf(buffer, sizeof buffer, format.constData(), errorText);
    return QString::fromLocal8Bit(buffer);
}

void ShowErrorQueue(CInstrument& instrument) {
    const char* text = instrument.GetErrorText();
    int code = 1;
    for (int shown = 0; code != 0 && text != nullptr && shown < kMaxErrorBoxes; ++shown) {
        platform::SfpMessageBeep();
        platform::SfpMessageBox(ErrorBoxText(text));
        text = instrument.QueryError(&code);
    }
}

} // namespace

void ReportInstrumentError(int status) {
    CSfpApp* app = GetSfpApp();
    CMainFrame* frame = app->m_pMainWnd;
    if (frame != nullptr) {
        frame->KillTimer(IDT_AUTOUPDATE);
        frame->StopAutoUpdateAfterFailure();
    }
    CInstrument& instrument = *app->m_pInstrument;
    if (status == INSTRUMENT_ERROR_DETECTED) {
        ShowErrorQueue(instrument);
    } else if (status == VI_ERROR_TMO) {
        platform::SfpMessageBox(LoadStr(IDS_TIME_OUT));
    } else if (const char* text = instrument.GetStatusText(status)) {
        platform::SfpMessageBox(QString::fromLocal8Bit(text));
    }
    if (frame != nullptr) {
        frame->SetTimer(IDT_AUTOUPDATE, kAutoUpdatePeriodMs);
    }
}
