#pragma once
// Builds the Qt widgets of a dialog template. Dialog units map to pixels from the
// dialog font as the original platform mapped them: baseX is the font's average
// character width (the width of "A".."Z" "a".."z" divided by 52, rounded), baseY its
// height; x pixels = round(x * baseX / 4), y pixels = round(y * baseY / 8).
#include "platform/DialogTemplate.h"

#include <QFont>
#include <QRect>
#include <QSize>

#include <QWidget>

namespace platform {

struct DialogUnits {
    int baseX = 6;
    int baseY = 13;
    int X(int du) const;
    int Y(int du) const;
    QRect ToPixels(int x, int y, int cx, int cy) const;
};

// The 8-point sans-serif font that every dialog and form is laid out in.
QFont DialogFont();
DialogUnits DialogUnitsOf(const QFont& font);

// Sets the dialog's font, title and client size and creates one child widget per
// control, in template order (so later controls lie above earlier ones, and the tab
// order is the template order). Group boxes stay under the other controls and let
// clicks through. Each control can then be found by its id.
void BuildDialog(QWidget* dialog, const DialogTemplate& tmpl);

// The control of the dialog with this id, or nullptr.
QWidget* DlgItem(const QWidget* dialog, int id);
// The id a control was built or placed with, or kNoId.
int DlgCtrlId(const QWidget* control);
template <class T> T* DlgItemAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(DlgItem(dialog, id));
}

// Puts replacement where the control with this id stands (geometry, visibility, place
// in the stacking and tab order, id) and deletes the original. The dialog's way of
// taking over a template control with a custom one. Without such a control the
// replacement only becomes the dialog's (hidden) child, so it is never leaked.
void ReplaceDlgItem(QWidget* dialog, int id, QWidget* replacement);

} // namespace platform
