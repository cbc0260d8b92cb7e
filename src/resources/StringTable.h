#pragma once
// The string table: every operator-facing text, by number.
#include <QString>

constexpr int IDS_MAIN_PANEL = 7;
constexpr int IDS_TIME_OUT = 8;
constexpr int IDS_INSTRUMENT_REPORTS_ERROR = 9;
constexpr int IDS_IDN_PREFIX = 12;
constexpr int IDS_BAD_DRIVER = 14;
constexpr int IDS_READINGS_PANEL = 19;
constexpr int IDS_MAINFRAME_TITLE = 109;
constexpr int IDS_NO_DRIVER_DLL = 1010;
constexpr int IDS_NO_VISA_DLL = 1012;
constexpr int IDS_OPEN_RM_FAILED = 1013;
constexpr int IDS_NO_INSTRUMENT = 1014;
constexpr int IDS_SELECT_CANCELLED = 1015;
constexpr int IDS_INIT_FAILED = 1016;
constexpr int IDS_APP_TITLE = 57344;

// The text of string id, or an empty text for an id the table does not hold.
QString LoadStr(int id);
