#pragma once
// Resource identifiers shared by the resource script and the code.

#define IDB_MENU_BITMAP 129
#define IDD_CANCEL 130
#define IDD_ABOUT 132
// The same picture as an icon, for the Windows 11 menu: "<module>,-133".
#define IDI_MENU_ICON 133

// Progress dialog
#define IDC_ITEMS_BAR 1000
#define IDC_FILE_BAR 1001
#define IDC_ANIMATE 1002
#define IDC_STATUS 1037
#define IDC_PATH 1039

// About dialog
#define IDC_NOTICE 1004
#define IDC_VERSION 1039
#define IDC_LATEST_INFO 1042

// Report of what a job could not wipe
#define IDD_REPORT 134
#define IDC_REPORT_SUMMARY 1050
#define IDC_REPORT_LIST 1051
#define IDC_REPORT_COPY 1052
#define IDC_REPORT_LATER 1053

// The question before a wipe
#define IDD_CONFIRM_WIPE 136
#define IDC_CONFIRM_TEXT 1060
#define IDC_CONFIRM_DONT_ASK 1061
