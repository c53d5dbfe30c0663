// Recognises the "-u" switch that an installer uses to close a running key manager.
#include "command_line.h"

#include <string.h>

int IsCloseInstanceSwitch(const char* commandLine)
{
    if (!commandLine)
        return 0;
    size_t len = strlen(commandLine);
    if (len < 2)
        return 0;
    // A GBK trail byte can be 'u' but never follows '-', which is no lead byte: comparing bytes is safe.
    char last = commandLine[len - 1];
    return commandLine[len - 2] == '-' && (last == 'u' || last == 'U');
}
