#pragma once
// What every panel form shares: it is a child dialog built from its template inside the
// main frame, the frame is resized so its client area fits the form exactly, Enter
// presses the default button (if the template has one) while Esc and Enter never close
// the form, and the form is deleted with its window.
#include "platform/DialogTemplate.h"
#include "platform/DrawContext.h"

#include <QDialog>

class QMainWindow;

class CPanelForm : public QDialog {
    Q_OBJECT
public:
    CPanelForm(QMainWindow* frame, const platform::DialogTemplate& tmpl);

    // A form is closed only by its panel or with the frame.
    void accept() override {}
    void reject() override {}
    void done(int) override {}

    // Fits the frame's client area to this form, keeping the frame's position.
    void ResizeFrameToForm();

protected:
    // The forms' background: dark grey, with a light grey raised panel inside the
    // rectangle of the frame control frameId.
    void PaintRaisedPanel(platform::DrawContext& dc, int frameId) const;

private:
    QMainWindow* m_frame;
};
