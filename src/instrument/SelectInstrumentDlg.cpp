#include "instrument/SelectInstrumentDlg.h"

#include "platform/DialogBuilder.h"
#include "resources/ResourceIds.h"

#include <QComboBox>
#include <QPushButton>

namespace {

using platform::ControlKind;
using platform::IDCANCEL;
using platform::IDOK;

constexpr platform::ControlTemplate kControls[] = {
    {CSelectInstrumentDlg::IDC_INSTRUMENTLIST, ControlKind::DropList, "", 24, 24, 140, 60,
     platform::kVScroll | platform::kTabStop},
    {IDOK, ControlKind::DefPushButton, "OK", 28, 68, 50, 14, platform::kTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 100, 68, 50, 14, platform::kTabStop},
};

constexpr platform::DialogTemplate kSelectTemplate{IDD_SELECT_INSTRUMENT,
                                                   platform::DialogKind::Modal,
                                                   "Select Instrument",
                                                   0,
                                                   0,
                                                   186,
                                                   92,
                                                   false,
                                                   kControls,
                                                   true};

} // namespace

CSelectInstrumentDlg::CSelectInstrumentDlg(QWidget* parent, std::span<const std::string> candidates)
    : QDialog(parent), m_candidates(candidates) {
    platform::BuildDialog(this, kSelectTemplate);
    m_list = platform::DlgItemAs<QComboBox>(this, IDC_INSTRUMENTLIST);
    connect(platform::DlgItemAs<QPushButton>(this, IDOK), &QPushButton::clicked, this,
            &CSelectInstrumentDlg::OnOK);
    connect(platform::DlgItemAs<QPushButton>(this, IDCANCEL), &QPushButton::clicked, this,
            &QDialog::reject);
    OnInitDialog();
}

void CSelectInstrumentDlg::OnInitDialog() {
    for (const std::string& candidate : m_candidates) {
        m_list->addItem(QString::fromLocal8Bit(candidate));
    }
    m_list->setCurrentIndex(0);
}

void CSelectInstrumentDlg::OnOK() {
    const int chosen = m_list->currentIndex();
    if (chosen >= 0 && chosen < static_cast<int>(m_candidates.size())) {
        m_strSelected = m_candidates[static_cast<std::size_t>(chosen)];
    }
    accept();
}
