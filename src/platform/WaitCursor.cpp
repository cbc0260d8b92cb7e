#include "platform/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

WaitCursor::WaitCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    Restore();
}

void WaitCursor::Restore() {
    if (m_active) {
        m_active = false;
        QGuiApplication::restoreOverrideCursor();
    }
}

} // namespace platform
