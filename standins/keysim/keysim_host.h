// keysim's whole run, for keysim.exe and for tests that provision keys in their own process.
#pragma once

// argv[0] is the program. KEYSIM_DONE, KEYSIM_USAGE or KEYSIM_FAILED, as keysim.exe exits.
int KeysimMain(int argc, char** argv);
