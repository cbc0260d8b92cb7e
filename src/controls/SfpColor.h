#pragma once
// The panel's colour indices and the one function that turns them into colours.
#include "platform/Color.h"

constexpr int SFPCOLOR_WHITE = 0;
constexpr int SFPCOLOR_BLACK = 1;
constexpr int SFPCOLOR_SHADOW = 2;    // the button shadow colour of the current scheme
constexpr int SFPCOLOR_HIGHLIGHT = 3; // the button highlight colour of the current scheme
constexpr int SFPCOLOR_DARKGRAY = 4;
constexpr int SFPCOLOR_GRAY = 5;
constexpr int SFPCOLOR_LIGHTGRAY = 6;
constexpr int SFPCOLOR_FACE = 7; // the button face colour of the current scheme
constexpr int SFPCOLOR_TEAL = 8; // palette-relative, 0x02808000

// The colour of index; white for any index outside the table. The scheme colours are
// read from the application palette at each call, so a palette change shows at once.
platform::ColorRef GetSfpColor(int index);
