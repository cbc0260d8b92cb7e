#include "controls/SfpColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

platform::ColorRef PaletteColor(QPalette::ColorRole role) {
    return platform::FromQColor(QGuiApplication::palette().color(QPalette::Active, role));
}

} // namespace

platform::ColorRef GetSfpColor(int index) {
    using namespace platform;
    switch (index) {
    case SFPCOLOR_BLACK:
        return Rgb(0, 0, 0);
    case SFPCOLOR_SHADOW:
        return PaletteColor(QPalette::Dark);
    case SFPCOLOR_HIGHLIGHT:
        return PaletteColor(QPalette::Light);
    case SFPCOLOR_DARKGRAY:
        return Rgb(64, 64, 64);
    case SFPCOLOR_GRAY:
        return Rgb(128, 128, 128);
    case SFPCOLOR_LIGHTGRAY:
        return Rgb(192, 192, 192);
    case SFPCOLOR_FACE:
        return PaletteColor(QPalette::Button);
    case SFPCOLOR_TEAL:
        return PaletteRgb(0, 128, 128);
    default: // SFPCOLOR_WHITE and every index outside the table
        return Rgb(255, 255, 255);
    }
}
