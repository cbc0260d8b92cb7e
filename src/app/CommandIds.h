#pragma once
// Command ids of the main frame's menu.
constexpr int ID_SYSTEM_SELFTEST = 32771;
constexpr int ID_SYSTEM_AUTOUPDATE = 32773;
constexpr int ID_SYSTEM_RESET = 32774;
constexpr int ID_HELP_CONTENTS = 32775;
constexpr int ID_HELP_ABOUT = 32776;
constexpr int ID_SYSTEM_EXIT = 32779;
constexpr int ID_PANELS_HISTOGRAM = 32780;
constexpr int ID_PANELS_READINGS = 32781;
