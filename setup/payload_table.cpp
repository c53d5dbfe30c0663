// PayloadTable: every file the installer carries, in the order it writes them.
#include "setup.h"

// The rows come from PAYLOAD_ROWS in setup/CMakeLists.txt, the list the payload is assembled from.
const PayloadRow PayloadTable[PAYLOAD_ROW_COUNT] = { PAYLOAD_ROW_INITIALIZERS };

int PayloadRowApplies(const PayloadRow* row, int wow64)
{
    switch (row->condition) {
    case PAYLOAD_64BIT_ONLY:
        return wow64 != 0;
    case PAYLOAD_32BIT_ONLY:
        return wow64 == 0;
    default:
        return 1;
    }
}
