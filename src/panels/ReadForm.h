#pragma once
// The readings panel's form (dialog 115).
#include "panels/PanelForm.h"

class CReadObj;

class CReadForm : public CPanelForm {
    Q_OBJECT
public:
    CReadForm(CReadObj* panel, QMainWindow* frame);

    void TakeReading();

    CReadObj* m_pPanel;
};
