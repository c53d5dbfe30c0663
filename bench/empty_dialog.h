// Resource ids of the empty dialog the window-up benchmark measures the manager against.
#pragma once

#define IDD_EMPTY        100
#define IDC_EMPTY_LABEL  1000
#define EMPTY_TITLE      "Empty dialog"
