#include "histogram/HistResetDlg.h"

#include "instrument/CallInstrument.h"
#include "platform/DialogBuilder.h"
#include "platform/WaitCursor.h"
#include "resources/ResourceIds.h"

#include <QComboBox>
#include <QPushButton>

using platform::ControlKind;
using platform::IDOK;

namespace {

constexpr const char* kBlowerItems[] = {"BLOW1", "BLOW2", ""};
constexpr const char* kSupplyItems[] = {"P5", "P12", "N12", "P24", "N24", "N5PT2", "N2"};
constexpr const char* kSlotItems[] = {
    "OUT0",  "OUT1",  "OUT2",  "OUT3",  "OUT4",  "OUT5",   "OUT6",   "OUT7",   "OUT8",
    "OUT9",  "OUT10", "OUT11", "OUT12", "DELT0", "DELT1",  "DELT2",  "DELT3",  "DELT4",
    "DELT5", "DELT6", "DELT7", "DELT8", "DELT9", "DELT10", "DELT11", "DELT12", "AMBIENT"};

using D = CHistResetDlg;
constexpr platform::ControlTemplate kControls[] = {
    {IDOK, ControlKind::DefPushButton, "OK", 5, 75, 50, 14},
    {platform::kNoId, ControlKind::RText, "Blower number:", 5, 7, 55, 10},
    {D::IDC_RESETALL, ControlKind::PushButton, "Reset All", 135, 5, 50, 14},
    {D::IDC_RESETBLOWER, ControlKind::PushButton, "Reset Blower", 195, 5, 50, 14},
    {D::IDC_RESETPOWER, ControlKind::PushButton, "Reset Power", 195, 25, 50, 14},
    {D::IDC_RESETCURRENT, ControlKind::PushButton, "Reset Current", 135, 25, 50, 14},
    {D::IDC_RESETQUE, ControlKind::PushButton, "Reset Que", 135, 45, 50, 14},
    {D::IDC_RESETTEMP, ControlKind::PushButton, "Reset Temp", 195, 45, 50, 14},
    {D::IDC_RESETVOLT, ControlKind::PushButton, "Reset Volt", 135, 65, 50, 14},
    {D::IDC_BLOWER, ControlKind::DropDown, "", 65, 5, 65, 50, platform::kVScroll, kBlowerItems},
    {platform::kNoId, ControlKind::RText, "Supply:", 10, 27, 50, 8},
    {D::IDC_SUPPLY, ControlKind::DropDown, "", 65, 25, 65, 55, platform::kVScroll, kSupplyItems},
    {platform::kNoId, ControlKind::RText, "Slot:", 5, 47, 55, 8},
    {D::IDC_SLOT, ControlKind::DropDown, "", 65, 45, 65, 45, platform::kVScroll, kSlotItems},
};

const platform::DialogTemplate kHistResetTemplate{
    IDD_HISTRESET, platform::DialogKind::Modal, "HIstory Reset", 0, 0, 247, 95, true, kControls};

// The field takes the first entry that begins with text, ignoring case; without one it
// shows text itself.
void SelectString(QComboBox* field, const QString& text) {
    for (int i = 0; i < field->count(); ++i) {
        if (field->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            field->setCurrentIndex(i);
            return;
        }
    }
    field->setEditText(text);
}

} // namespace

CHistResetDlg::CHistResetDlg(QWidget* owner) : QDialog(owner) {
    platform::BuildDialog(this, kHistResetTemplate);
    m_blower = platform::DlgItemAs<QComboBox>(this, IDC_BLOWER);
    m_supply = platform::DlgItemAs<QComboBox>(this, IDC_SUPPLY);
    m_slot = platform::DlgItemAs<QComboBox>(this, IDC_SLOT);
    // What the operator types is sent as typed: no completion from the list.
    for (QComboBox* field : {m_blower, m_supply, m_slot}) {
        field->setCompleter(nullptr);
    }

    const struct {
        int id;
        const char* keyword;
        const QString* name; // null: the empty name
    } buttons[] = {
        {IDC_RESETALL, "ALL", nullptr},
        {IDC_RESETBLOWER, "BLOWER", &m_strBlower},
        {IDC_RESETPOWER, "POWER", &m_strSupply},
        {IDC_RESETCURRENT, "CURRENT", &m_strSupply},
        {IDC_RESETQUE, "Q", nullptr},
        {IDC_RESETTEMP, "TEMP", &m_strSlot},
        {IDC_RESETVOLT, "VOLT", &m_strSupply},
    };
    for (const auto& b : buttons) {
        connect(platform::DlgItemAs<QPushButton>(this, b.id), &QPushButton::clicked, this,
                [this, b] { OnResetButton(b.keyword, b.name); });
    }
    connect(platform::DlgItemAs<QPushButton>(this, IDOK), &QPushButton::clicked, this,
            &CHistResetDlg::OnOK);

    UpdateData(false);
    for (QComboBox* field : {m_blower, m_supply, m_slot}) {
        field->setCurrentIndex(0);
    }
}

void CHistResetDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strBlower = m_blower->currentText();
        m_strSupply = m_supply->currentText();
        m_strSlot = m_slot->currentText();
    } else {
        SelectString(m_blower, m_strBlower);
        SelectString(m_supply, m_strSupply);
        SelectString(m_slot, m_strSlot);
    }
}

void CHistResetDlg::OnResetButton(const char* keyword, const QString* name) {
    UpdateData(true);
    const QByteArray objectName = name != nullptr ? name->toLocal8Bit() : QByteArray();
    CallInstrument(
        [&](CInstrument& instrument) { instrument.ResetHistory(keyword, objectName.constData()); });
}

void CHistResetDlg::OnOK() {
    UpdateData(true);
    accept();
}
