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

// Static texts and pictures that no code reaches.
#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif

// Main window controls
#define IDC_KEY_TREE                    1000
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

// PIN verification dialog
#define IDC_PIN_BOX             1018

// The on-screen keys of the PIN verification dialog, unshifted set. The digit and letter keys are
// places: DIGIT_i shows DigitOrder[i], LETTER_j shows LetterOrder[j].
#define IDC_KEY_GRAVE                   1040
#define IDC_KEY_MINUS                   1041
#define IDC_KEY_EQUALS                  1042
#define IDC_KEY_BACKSLASH               1043
#define IDC_KEY_LEFT_BRACKET            1044
#define IDC_KEY_RIGHT_BRACKET           1045
#define IDC_KEY_SEMICOLON               1046
#define IDC_KEY_QUOTE                   1047
#define IDC_KEY_COMMA                   1048
#define IDC_KEY_PERIOD                  1049
#define IDC_KEY_SLASH                   1050
#define IDC_KEY_TAB                     1060
#define IDC_KEY_SHIFT_LEFT              1061
#define IDC_KEY_DEL                     1062
#define IDC_KEY_CAPS                    1063
#define IDC_KEY_ENTER                   1064
#define IDC_KEY_SHIFT_RIGHT             1065
#define IDC_KEY_DIGIT_0                 1100
#define IDC_KEY_DIGIT_1                 1101
#define IDC_KEY_DIGIT_2                 1102
#define IDC_KEY_DIGIT_3                 1103
#define IDC_KEY_DIGIT_4                 1104
#define IDC_KEY_DIGIT_5                 1105
#define IDC_KEY_DIGIT_6                 1106
#define IDC_KEY_DIGIT_7                 1107
#define IDC_KEY_DIGIT_8                 1108
#define IDC_KEY_DIGIT_9                 1109
#define IDC_KEY_LETTER_0                1201
#define IDC_KEY_LETTER_1                1202
#define IDC_KEY_LETTER_2                1203
#define IDC_KEY_LETTER_3                1204
#define IDC_KEY_LETTER_4                1205
#define IDC_KEY_LETTER_5                1206
#define IDC_KEY_LETTER_6                1207
#define IDC_KEY_LETTER_7                1208
#define IDC_KEY_LETTER_8                1209
#define IDC_KEY_LETTER_9                1210
#define IDC_KEY_LETTER_10               1211
#define IDC_KEY_LETTER_11               1212
#define IDC_KEY_LETTER_12               1213
#define IDC_KEY_LETTER_13               1214
#define IDC_KEY_LETTER_14               1215
#define IDC_KEY_LETTER_15               1216
#define IDC_KEY_LETTER_16               1217
#define IDC_KEY_LETTER_17               1218
#define IDC_KEY_LETTER_18               1219
#define IDC_KEY_LETTER_19               1220
#define IDC_KEY_LETTER_20               1221
#define IDC_KEY_LETTER_21               1222
#define IDC_KEY_LETTER_22               1223
#define IDC_KEY_LETTER_23               1224
#define IDC_KEY_LETTER_24               1225
#define IDC_KEY_LETTER_25               1226

// The shifted set: each unshifted key's twin, 1000 above it, shown while Shift or Caps is held.
#define IDC_SHIFTED_KEY_GRAVE           2040
#define IDC_SHIFTED_KEY_MINUS           2041
#define IDC_SHIFTED_KEY_EQUALS          2042
#define IDC_SHIFTED_KEY_BACKSLASH       2043
#define IDC_SHIFTED_KEY_LEFT_BRACKET    2044
#define IDC_SHIFTED_KEY_RIGHT_BRACKET   2045
#define IDC_SHIFTED_KEY_SEMICOLON       2046
#define IDC_SHIFTED_KEY_QUOTE           2047
#define IDC_SHIFTED_KEY_COMMA           2048
#define IDC_SHIFTED_KEY_PERIOD          2049
#define IDC_SHIFTED_KEY_SLASH           2050
#define IDC_SHIFTED_KEY_TAB             2060
#define IDC_SHIFTED_KEY_SHIFT_LEFT      2061
#define IDC_SHIFTED_KEY_DEL             2062
#define IDC_SHIFTED_KEY_CAPS            2063
#define IDC_SHIFTED_KEY_ENTER           2064
#define IDC_SHIFTED_KEY_SHIFT_RIGHT     2065
#define IDC_SHIFTED_KEY_DIGIT_0         2100
#define IDC_SHIFTED_KEY_DIGIT_1         2101
#define IDC_SHIFTED_KEY_DIGIT_2         2102
#define IDC_SHIFTED_KEY_DIGIT_3         2103
#define IDC_SHIFTED_KEY_DIGIT_4         2104
#define IDC_SHIFTED_KEY_DIGIT_5         2105
#define IDC_SHIFTED_KEY_DIGIT_6         2106
#define IDC_SHIFTED_KEY_DIGIT_7         2107
#define IDC_SHIFTED_KEY_DIGIT_8         2108
#define IDC_SHIFTED_KEY_DIGIT_9         2109
#define IDC_SHIFTED_KEY_LETTER_0        2201
#define IDC_SHIFTED_KEY_LETTER_1        2202
#define IDC_SHIFTED_KEY_LETTER_2        2203
#define IDC_SHIFTED_KEY_LETTER_3        2204
#define IDC_SHIFTED_KEY_LETTER_4        2205
#define IDC_SHIFTED_KEY_LETTER_5        2206
#define IDC_SHIFTED_KEY_LETTER_6        2207
#define IDC_SHIFTED_KEY_LETTER_7        2208
#define IDC_SHIFTED_KEY_LETTER_8        2209
#define IDC_SHIFTED_KEY_LETTER_9        2210
#define IDC_SHIFTED_KEY_LETTER_10       2211
#define IDC_SHIFTED_KEY_LETTER_11       2212
#define IDC_SHIFTED_KEY_LETTER_12       2213
#define IDC_SHIFTED_KEY_LETTER_13       2214
#define IDC_SHIFTED_KEY_LETTER_14       2215
#define IDC_SHIFTED_KEY_LETTER_15       2216
#define IDC_SHIFTED_KEY_LETTER_16       2217
#define IDC_SHIFTED_KEY_LETTER_17       2218
#define IDC_SHIFTED_KEY_LETTER_18       2219
#define IDC_SHIFTED_KEY_LETTER_19       2220
#define IDC_SHIFTED_KEY_LETTER_20       2221
#define IDC_SHIFTED_KEY_LETTER_21       2222
#define IDC_SHIFTED_KEY_LETTER_22       2223
#define IDC_SHIFTED_KEY_LETTER_23       2224
#define IDC_SHIFTED_KEY_LETTER_24       2225
#define IDC_SHIFTED_KEY_LETTER_25       2226
