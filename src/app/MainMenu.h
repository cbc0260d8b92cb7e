#pragma once
// Menu resource 102: three pop-ups, their items in order. A null text is a separator.
#include "app/CommandIds.h"

#include <array>

struct MenuItemTemplate {
    const char* popup;
    const char* text;
    int id;
};

constexpr std::array<MenuItemTemplate, 10> kMainMenu{{
    {"&System", "&Auto Update", ID_SYSTEM_AUTOUPDATE},
    {"&System", "&Reset", ID_SYSTEM_RESET},
    {"&System", "Self &Test", ID_SYSTEM_SELFTEST},
    {"&System", nullptr, 0},
    {"&System", "&Exit", ID_SYSTEM_EXIT},
    {"&Panels", "&Histogram", ID_PANELS_HISTOGRAM},
    {"&Panels", "&Readings", ID_PANELS_READINGS},
    {"&Help", "&Help Contents", ID_HELP_CONTENTS},
    {"&Help", nullptr, 0},
    {"&Help", "&About...", ID_HELP_ABOUT},
}};
