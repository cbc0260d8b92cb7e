#include "histogram/Pan1Obj.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "histogram/Pan1Form.h"
#include "resources/StringTable.h"

CPan1Obj::CPan1Obj() : CPanel(LoadStr(IDS_MAIN_PANEL)) {
    CSfpApp* app = GetSfpApp();
    app->m_updateInterval = 0;
    app->m_lastUpdateTick = 0;
}

void CPan1Obj::OpenForm() {
    auto* form = new CPan1Form(this, GetSfpApp()->m_pMainWnd);
    AdoptForm(form);
}

void CPan1Obj::Update() {
    if (ShouldUpdate()) {
        static_cast<CPan1Form*>(m_pForm.data())->TakeReading();
    }
}
