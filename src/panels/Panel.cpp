#include "panels/Panel.h"

#include "app/SfpApp.h"
#include "panels/PanelForm.h"

void CPanel::CloseForm() {
    delete m_pForm.data();
    m_pForm = nullptr;
}

void CPanel::AdoptForm(CPanelForm* form) {
    m_pForm = form;
    GetSfpApp()->m_pCurrentPanel = this;
}

bool CPanel::ShouldUpdate() const {
    return m_pForm != nullptr && GetSfpApp()->m_bAutoUpdate;
}
