/* Stand-in for the key's driver image: a native image whose entry refuses to start, as there is no
   real token behind it. */
typedef long NTSTATUS;

#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BBL)

NTSTATUS __stdcall DriverEntry(void* driverObject, void* registryPath)
{
    (void)driverObject;
    (void)registryPath;
    return STATUS_NOT_SUPPORTED;
}
