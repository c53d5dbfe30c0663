// The virtual_key target's manager side, apart because the manager's headers name the key's layout
// as the virtual key's do: what the manager's decoders make of a file it read.
#include "key_layout.h"

// Bits 0 and 1: application listed; from bit 2, three per container: in use, encryption, signature.
unsigned ManagerFlags(const unsigned char* file, size_t size)
{
    unsigned flags = 0;
    for (int i = 0; i < APPLICATION_COUNT; ++i)
        flags |= (unsigned)ApplicationListed(file, size, i) << i;
    for (int j = 0; j < CONTAINERS_PER_APPLICATION; ++j) {
        ContainerState state = ReadContainerState(file, size, j);
        flags |= (unsigned)(state.inUse | state.hasEncryption << 1 | state.hasSignature << 2) << (2 + 3 * j);
    }
    return flags;
}
