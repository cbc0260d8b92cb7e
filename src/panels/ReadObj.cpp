#include "panels/ReadObj.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "panels/ReadForm.h"
#include "resources/StringTable.h"

CReadObj::CReadObj() : CPanel(LoadStr(IDS_READINGS_PANEL)) {}

void CReadObj::OpenForm() {
    auto* form = new CReadForm(this, GetSfpApp()->m_pMainWnd);
    AdoptForm(form);
}

void CReadObj::Update() {
    if (ShouldUpdate()) {
        static_cast<CReadForm*>(m_pForm.data())->TakeReading();
    }
}
