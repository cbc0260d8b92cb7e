#include "panels/PanelForm.h"

#include "platform/DialogBuilder.h"

#include <QMainWindow>

CPanelForm::CPanelForm(QMainWindow* frame, const platform::DialogTemplate& tmpl)
    : QDialog(frame, Qt::Widget), m_frame(frame) {
    platform::BuildDialog(this, tmpl);
    setFixedSize(size());
}

void CPanelForm::ResizeFrameToForm() {
    if (m_frame == nullptr) {
        return;
    }
    m_frame->setCentralWidget(this);
    // The frame's only non-client part inside its window is the menu bar.
    int menuHeight = 0;
    if (const QWidget* menu = m_frame->menuWidget()) {
        menuHeight = menu->heightForWidth(width());
        if (menuHeight < 0) {
            menuHeight = menu->sizeHint().height();
        }
    }
    m_frame->setFixedSize(width(), height() + menuHeight);
    show();  // at once, not on the layout's next pass
}
