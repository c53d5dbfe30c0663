// The table of bound token entry points and the exported names that fill it.
#include "token_api.h"

#include <stddef.h>

TokenEntryPoints TokenLibrary;

#define ENTRY(field) { #field, (void**)&TokenLibrary.field }

const TokenEntryName KeyCmdEntries[KEYCMD_ENTRY_COUNT] = {
    ENTRY(QZ_Open),          ENTRY(QZ_Close),         ENTRY(QZ_IC_RESET),
    ENTRY(QZ_GET_SN),        ENTRY(QZ_StoreCert),     ENTRY(Read_Binary),
    ENTRY(Select_File),      ENTRY(Update_Binary),    ENTRY(QZ_DeleteCert),
    ENTRY(QZ_GET_BCDSN),     ENTRY(QZ_ClearDir),      ENTRY(QZ_VerifyPinUpDatePinInfoFile),
    ENTRY(QZ_ChangePin),     ENTRY(QZ_AddCertToIE),   ENTRY(QZ_DelCertFrIE),
    ENTRY(QZ_ReloadUserPin), ENTRY(QZ_InitialCard),
};

const TokenEntryName KeyDevEntries[KEYDEV_ENTRY_COUNT] = {
    ENTRY(QZ_RegisterCardNotification), ENTRY(QZ_UnregisterCardNotification),
    ENTRY(QZ_IsQZDevice),               ENTRY(QZ_GetReaderList),
    ENTRY(QZ_DestroyReaderList),
};

const TokenEntryName KeyNumEntries[KEYNUM_ENTRY_COUNT] = {
    ENTRY(HexToDec),
};

#undef ENTRY

void ClearTokenEntries(const TokenEntryName* entries, int count)
{
    for (int i = 0; i < count; ++i)
        *entries[i].slot = NULL;
}
