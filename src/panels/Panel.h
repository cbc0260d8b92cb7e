#pragma once
// A panel remembers the operator's choices for one view of the mainframe and, while it
// is shown, owns a form that fills the main frame's client area.
#include "panels/SFPObject.h"

#include <QPointer>

class CPanelForm;

class CPanel : public CSFPObject {
    Q_OBJECT
public:
    using CSFPObject::CSFPObject;

    virtual void Refresh() {}
    virtual void OpenForm() {}
    // Destroys the open form, if any; the current panel stays as it was.
    virtual void CloseForm();
    // The auto-update hook: take a reading through the open form when auto update is on.
    virtual void Update() {}

    // The open form; becomes null by itself when the form is destroyed with the frame.
    QPointer<CPanelForm> m_pForm;

protected:
    // Makes form this panel's open form and this panel the current one.
    void AdoptForm(CPanelForm* form);
    // True when a form is open and auto update is on.
    bool ShouldUpdate() const;
};
