// keysim.exe: the console tool that creates, changes and inspects the virtual keys in the store.
#include "keysim_host.h"

int main(int argc, char** argv)
{
    return KeysimMain(argc, argv);
}
