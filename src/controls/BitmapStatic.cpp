#include "controls/BitmapStatic.h"

#include "resources/Bitmaps.h"

#include <QPainter>

CBitmapStatic::CBitmapStatic(int bitmapId, QWidget* parent)
    : QWidget(parent), m_nBitmapId(bitmapId) {
    setAccessibleName(BitmapText(bitmapId));
}

// The bitmap is loaded at each paint and copied unscaled to the top-left corner; the
// painter clips whatever lies outside the control.
void CBitmapStatic::paintEvent(QPaintEvent*) {
    const QPixmap bitmap = LoadBitmap(m_nBitmapId);
    if (bitmap.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, bitmap);
}
