#include "histogram/Pan1Form.h"

#include "resources/ResourceIds.h"

namespace {
const platform::DialogTemplate kPan1FormTemplate{
    IDD_PANEL1, platform::DialogKind::ChildForm, nullptr, 0, 0, 251, 246, false, {}};
}

CPan1Form::CPan1Form(CPan1Obj* panel, QMainWindow* frame)
    : CPanelForm(frame, kPan1FormTemplate), m_pPanel(panel) {
    ResizeFrameToForm();
}

void CPan1Form::TakeReading() {}
