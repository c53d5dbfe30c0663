// Importing one of the authority's DER certificates into a local machine system store.
#include "setup.h"

#include <wincrypt.h>

#include "library_search.h"

// crypt32 is bound from the system directory when first needed, never imported: an imported one
// would be looked for first beside the installer, in whatever folder it was started from.
struct CertificateApi {
    HCERTSTORE(WINAPI* openStore)(LPCSTR provider, DWORD encoding, HCRYPTPROV_LEGACY cryptProvider, DWORD flags,
                                  const void* parameter);
    PCCERT_CONTEXT(WINAPI* createContext)(DWORD encoding, const BYTE* encoded, DWORD size);
    BOOL(WINAPI* addContext)(HCERTSTORE store, PCCERT_CONTEXT context, DWORD disposition, PCCERT_CONTEXT* added);
    BOOL(WINAPI* freeContext)(PCCERT_CONTEXT context);
    BOOL(WINAPI* closeStore)(HCERTSTORE store, DWORD flags);
};

static CertificateApi Crypt32;

// 1 when every function was found; looked for once.
static int BindCertificateApi(void)
{
    static int bound = -1;
    if (bound < 0) {
        HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
        // Every slot is filled, found or not.
        bound = BIND_SYSTEM_FUNCTION(crypt32, CertOpenStore, &Crypt32.openStore)
                & BIND_SYSTEM_FUNCTION(crypt32, CertCreateCertificateContext, &Crypt32.createContext)
                & BIND_SYSTEM_FUNCTION(crypt32, CertAddCertificateContextToStore, &Crypt32.addContext)
                & BIND_SYSTEM_FUNCTION(crypt32, CertFreeCertificateContext, &Crypt32.freeContext)
                & BIND_SYSTEM_FUNCTION(crypt32, CertCloseStore, &Crypt32.closeStore);
    }
    return bound;
}

int ImportCertificateFile(const char* path, const char* storeName)
{
    unsigned char buffer[CERTIFICATE_BUFFER_SIZE];
    ZeroMemory(buffer, sizeof buffer);
    long length = ReadCertificateFile(path, buffer);
    if (length < 0)
        return -1;
    // Not found: the same failure as a store that does not open.
    if (!BindCertificateApi())
        return -1;
    HCERTSTORE store = Crypt32.openStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, storeName);
    if (!store)
        return -1;
    PCCERT_CONTEXT certificate = Crypt32.createContext(X509_ASN_ENCODING, buffer, (DWORD)length);
    if (!certificate) {
        Crypt32.closeStore(store, CERT_CLOSE_STORE_CHECK_FLAG);
        return -1;
    }
    BOOL added = Crypt32.addContext(store, certificate, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    Crypt32.freeContext(certificate);
    Crypt32.closeStore(store, CERT_CLOSE_STORE_CHECK_FLAG);
    return added ? 0 : -1;
}
