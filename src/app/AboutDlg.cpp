#include "app/AboutDlg.h"

#include "platform/DialogBuilder.h"
#include "resources/ResourceIds.h"

#include <QPushButton>

namespace {

using platform::ControlKind;
using platform::IDOK;
using platform::kNoId;

constexpr platform::ControlTemplate kAboutControls[] = {
    {kNoId, ControlKind::Icon, "", 4, 4, 20, 20},
    {kNoId, ControlKind::CText, "ksm7720  soft front panel", 32, 4, 160, 8},
    {IDOK, ControlKind::DefPushButton, "OK", 196, 4, 32, 14, platform::kGroup | platform::kTabStop},
    {kNoId, ControlKind::CText, "VERSION: A.01.00", 4, 36, 224, 8},
    {kNoId, ControlKind::CText, "Plug Play Driver revison required: A.01.00 or greater", 4, 52, 224,
     8},
    {kNoId, ControlKind::CText, "", 4, 64, 224, 8},
    {kNoId, ControlKind::CText, "VISA version required: 1.0 or greater", 4, 76, 224, 8},
};

constexpr platform::DialogTemplate kAboutTemplate{IDD_ABOUTBOX,
                                                  platform::DialogKind::Modal,
                                                  "About ksm7720 Soft front panel",
                                                  34,
                                                  22,
                                                  232,
                                                  92,
                                                  true,
                                                  kAboutControls};

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    platform::BuildDialog(this, kAboutTemplate);
    connect(platform::DlgItemAs<QPushButton>(this, IDOK), &QPushButton::clicked, this,
            &QDialog::accept);
}
