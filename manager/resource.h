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

// PIN change dialog
#define IDC_CURRENT_PIN         1007
#define IDC_NEW_PIN             1008
#define IDC_CONFIRM_PIN         1009
#define IDC_METER_LOW_BAR       1012
#define IDC_METER_LOW_TEXT      1013
#define IDC_METER_MEDIUM_BAR    1014
#define IDC_METER_MEDIUM_TEXT   1015
#define IDC_METER_HIGH_BAR      1016
#define IDC_METER_HIGH_TEXT     1017

// PIN verification dialog; its on-screen keys are numbered in keyboard_layout.h (1040-1226, 2040-2226)
#define IDC_PIN_BOX             1018
