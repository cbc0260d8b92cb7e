#include "histogram/HistSetupDlg.h"

#include "instrument/CallInstrument.h"
#include "platform/DialogBuilder.h"
#include "platform/WaitCursor.h"
#include "resources/ResourceIds.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using platform::ControlKind;
using platform::IDCANCEL;
using platform::IDOK;

namespace {

constexpr const char* kUnitItems[] = {"HOUR", "MIN", "SEC"};

using D = CHistSetupDlg;
constexpr platform::ControlTemplate kControls[] = {
    {IDOK, ControlKind::DefPushButton, "OK", 5, 70, 50, 14},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 65, 70, 50, 14},
    {platform::kNoId, ControlKind::LText, "Auto Update frequency (seconds):", 10, 12, 115, 8},
    {D::IDC_PERIOD, ControlKind::Edit, "", 130, 10, 50, 14,
     platform::kBorder | platform::kAutoHScroll},
    {platform::kNoId, ControlKind::RText, "Histogram time units:", 10, 30, 110, 8},
    {D::IDC_UNITS, ControlKind::DropList, "", 130, 30, 48, 35, platform::kNone, kUnitItems},
};

const platform::DialogTemplate kHistSetupTemplate{
    IDD_HISTSETUP, platform::DialogKind::Modal, "Histogram Setup", 0, 0, 186, 95, true, kControls,
    true};

// The list position of a time-unit code; hours for any code the list does not hold.
int UnitPosition(int code) {
    const int position = code - kFirstTimeUnit;
    return position >= 0 && position < 3 ? position : 0;
}

} // namespace

const char* TimeUnitName(int code) {
    return kUnitItems[UnitPosition(code)];
}

CHistSetupDlg::CHistSetupDlg(QWidget* owner) : QDialog(owner) {
    platform::BuildDialog(this, kHistSetupTemplate);
    m_period = platform::DlgItemAs<QLineEdit>(this, IDC_PERIOD);
    m_units = platform::DlgItemAs<QComboBox>(this, IDC_UNITS);
    connect(platform::DlgItemAs<QPushButton>(this, IDOK), &QPushButton::clicked, this,
            &CHistSetupDlg::OnOK);
    connect(platform::DlgItemAs<QPushButton>(this, IDCANCEL), &QPushButton::clicked, this,
            &CHistSetupDlg::reject);
}

int CHistSetupDlg::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CHistSetupDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strPeriod = m_period->text();
        m_nUnits = m_units->currentIndex();
    } else {
        m_period->setText(m_strPeriod);
        m_units->setCurrentIndex(m_nUnits);
    }
}

void CHistSetupDlg::OnInitDialog() {
    UpdateData(false);
    // After a failed read the list keeps no selection.
    CallInstrument([this](CInstrument& instrument) {
        m_nUnitsRead = UnitPosition(instrument.GetTimeUnits());
        m_units->setCurrentIndex(m_nUnitsRead);
    });
}

// Sends the chosen unit, and closes with OK even when sending failed, so the panel still
// takes the period. Without a chosen unit (its read failed) nothing is sent.
void CHistSetupDlg::OnOK() {
    UpdateData(true);
    if (m_nUnits >= 0) {
        CallInstrument([this](CInstrument& instrument) {
            instrument.SetTimeUnits(m_nUnits + kFirstTimeUnit);
        });
    }
    accept();
}
