#include "panels/ReadForm.h"

#include "resources/ResourceIds.h"

namespace {
const platform::DialogTemplate kReadFormTemplate{
    IDD_READINGS, platform::DialogKind::ChildForm, nullptr, 0, 0, 252, 241, false, {}};
}

CReadForm::CReadForm(CReadObj* panel, QMainWindow* frame)
    : CPanelForm(frame, kReadFormTemplate), m_pPanel(panel) {
    ResizeFrameToForm();
}

void CReadForm::TakeReading() {}
