// Builds key file systems on the fake token from a short description.
#include "key_builder.h"

#include <windows.h>
#include <string.h>

namespace fake {

std::vector<unsigned char> TestCertificate(const char* name)
{
    HRSRC resource = FindResourceA(GetModuleHandleA(NULL), name, (LPCSTR)RT_RCDATA);
    if (!resource)
        return {};
    const unsigned char* bytes = (const unsigned char*)LockResource(LoadResource(NULL, resource));
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(NULL, resource));
}

static void PutLe32(std::vector<unsigned char>& bytes, size_t offset, unsigned value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = (unsigned char)(value >> (8 * i));
}

std::vector<unsigned char> DeviceInfoFile(const std::string& label, bool first, bool second)
{
    std::vector<unsigned char> info(340, 0);
    memcpy(info.data(), label.data(), label.size() < 340 ? label.size() : 340);
    PutLe32(info, 68, first ? 1 : 0);
    PutLe32(info, 68 + 136, second ? 1 : 0);
    return info;
}

// A container directory for the two containers of one application.
static std::vector<unsigned char> ContainerDirectory(const ContainerPlan& first, const ContainerPlan& second)
{
    std::vector<unsigned char> dir(300, 0);
    const ContainerPlan* plans[2] = { &first, &second };
    for (int j = 0; j < 2; ++j) {
        PutLe32(dir, 32 + 148 * j, plans[j]->encryption.empty() ? 0 : 1);
        PutLe32(dir, 40 + 148 * j, plans[j]->signature.empty() ? 0 : 1);
        dir[48 + 148 * j] = plans[j]->inUse ? 1 : 0;
    }
    return dir;
}

void PutKey(Token& token, int slot, const KeyPlan& plan)
{
    Key& key = token.Slot(slot);
    key.directories.clear();
    key.files.clear();
    key.present = true;
    token.PutFile(slot, { 0xEF01 }, DeviceInfoFile(plan.label, plan.applications[0], plan.applications[1]));
    for (int i = 0; i < 2; ++i) {
        if (!plan.applications[i])
            continue;
        unsigned app = 0xAD01 + i;
        token.PutDirectory(slot, { app });
        token.PutFile(slot, { app, 0xEF01 }, ContainerDirectory(plan.containers[2 * i], plan.containers[2 * i + 1]));
        for (int j = 0; j < 2; ++j) {
            const ContainerPlan& c = plan.containers[2 * i + j];
            unsigned container = 0xDF11 + 0x10 * i + j;
            token.PutDirectory(slot, { app, container });
            if (!c.encryption.empty())
                token.PutFile(slot, { app, container, 0xEF01 }, c.encryption);
            if (!c.signature.empty())
                token.PutFile(slot, { app, container, 0xEF02 }, c.signature);
        }
    }
}

} // namespace fake
