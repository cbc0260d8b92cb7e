#pragma once
// Numbers of the program's resources: menu, dialog templates, bitmaps and icon.

constexpr int IDI_APPICON = 2;
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDR_MAINFRAME_MENU = 102;
constexpr int IDD_PANEL1 = 103;
constexpr int IDB_LOGO = 104;  // the maker's logo, 103 x 24 pixels
constexpr int IDB_BADGE = 105; // the plug&play badge, 77 x 41 pixels
constexpr int IDD_SELECT_INSTRUMENT = 107;
constexpr int IDD_HISTRESET = 111;
constexpr int IDD_HISTSETUP = 113;
constexpr int IDD_READINGS = 115;
