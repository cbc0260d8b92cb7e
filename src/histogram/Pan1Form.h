#pragma once
// The histogram panel's form (dialog 103).
#include "panels/PanelForm.h"

class CPan1Obj;

class CPan1Form : public CPanelForm {
    Q_OBJECT
public:
    CPan1Form(CPan1Obj* panel, QMainWindow* frame);

    void TakeReading();

    CPan1Obj* m_pPanel;
};
