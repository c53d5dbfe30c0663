// Resource ids of the installer (the payload's own ids are in payload_table.cpp).
#pragma once

// Icons
#define IDI_SETUP               119

// Version and manifest
#define IDV_VERSION             1
#define IDM_MANIFEST            1
