#pragma once
// Accessibility for the program's own controls, which Qt knows only as plain widgets (a
// screen reader would hear a nameless "filler"): the role they play, and their text as
// the accessible name, set by each control.
#include <QAccessible>

class QWidget;

namespace platform {

// From now on, assistive technologies see widget in this role, with its accessible name
// and description.
void SetAccessibleRole(QWidget* widget, QAccessible::Role role);

} // namespace platform
