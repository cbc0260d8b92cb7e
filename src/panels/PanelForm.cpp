#include "panels/PanelForm.h"

#include "controls/SfpColor.h"
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
    show(); // at once, not on the layout's next pass
}

void CPanelForm::PaintRaisedPanel(platform::DrawContext& dc, int frameId) const {
    dc.FillRect(platform::Rect::FromQRect(rect()), GetSfpColor(SFPCOLOR_DARKGRAY));
    platform::Rect r = platform::Rect::FromQRect(platform::DlgItem(this, frameId)->geometry());
    r.Deflate(2);
    const platform::Pen oldPen = dc.SelectPen({GetSfpColor(SFPCOLOR_HIGHLIGHT), 2});
    dc.MoveTo(r.left, r.bottom);
    dc.LineTo(r.left, r.top);
    dc.LineTo(r.right, r.top);
    dc.SelectPen({GetSfpColor(SFPCOLOR_SHADOW), 2});
    dc.LineTo(r.right, r.bottom);
    dc.LineTo(r.left, r.bottom);
    // Filled after the bevel, over the lines' inner halves.
    dc.FillRect(r, GetSfpColor(SFPCOLOR_LIGHTGRAY));
    dc.SelectPen(oldPen);
}
