// The key manager's command line. Portable: no windows.h.
#pragma once

// 1 when the command line ends in "-u" (any case, anything before it): close the running instance.
int IsCloseInstanceSwitch(const char* commandLine);
