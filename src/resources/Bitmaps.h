#pragma once
// The program's pictures, drawn in code in the classic 16 colours.
#include <QIcon>
#include <QPixmap>
#include <QString>

// The bitmap with this id (IDB_LOGO, IDB_BADGE), or a null pixmap for any other id.
QPixmap LoadBitmap(int id);
// The words a bitmap shows, for screen readers; empty for an unknown id.
QString BitmapText(int id);

// The program's icon (IDI_APPICON) in 32 x 32 and 16 x 16 pixels.
QIcon AppIcon();
// The program's icon at size x size pixels, size a multiple of 16 (the desktop's icon theme
// gets it at every size it asks for).
QPixmap AppIconPixmap(int size);
