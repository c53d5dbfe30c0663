// Resource and control ids of the key manager.
#pragma once

// Dialogs
#define IDD_MAIN                101
#define IDD_CHANGE_PIN          108
#define IDD_VERIFY_PIN          112

// Bitmaps and icons
#define IDB_BANNER              102
#define IDI_APP                 103
#define IDB_TREE_IMAGES         107
#define IDB_METER_LOW           109
#define IDB_METER_MEDIUM        110
#define IDB_METER_HIGH          111
#define IDB_CAPS_HELD           113
#define IDB_SHIFT_RIGHT_HELD    114
#define IDB_SHIFT_LEFT_HELD     115

// Main window controls
#define IDC_KEY_TREE            1000
#define IDC_VIEW_CERT           1001
#define IDC_CHANGE_PIN          1002
#define IDC_SAVE_REPORT         1003
#define IDC_EXIT                1004
#define IDC_VERIFY_PIN          1019
#define IDC_FORMAT_KEY          1020
#define IDC_RESET_PIN           1021
