#pragma once
// Colours as the panel's drawing code exchanges them: 0x00BBGGRR, with the top byte
// flagging a palette-relative colour (0x02), which paints as its RGB part.
#include <QColor>
#include <cstdint>

namespace platform {

using ColorRef = std::uint32_t;

constexpr ColorRef Rgb(int r, int g, int b) {
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr ColorRef PaletteRgb(int r, int g, int b) {
    return 0x02000000u | Rgb(r, g, b);
}

constexpr int RedOf(ColorRef c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(ColorRef c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(ColorRef c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

inline QColor ToQColor(ColorRef c) {
    return {RedOf(c), GreenOf(c), BlueOf(c)};
}
inline ColorRef FromQColor(const QColor& c) {
    return Rgb(c.red(), c.green(), c.blue());
}

} // namespace platform
