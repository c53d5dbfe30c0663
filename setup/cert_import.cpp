// Importing one of the authority's DER certificates into a local machine system store.
#include "setup.h"

#include <wincrypt.h>

int ImportCertificateFile(const char* path, const char* storeName)
{
    unsigned char buffer[CERTIFICATE_BUFFER_SIZE];
    ZeroMemory(buffer, sizeof buffer);
    long length = ReadCertificateFile(path, buffer);
    if (length < 0)
        return -1;
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, storeName);
    if (!store)
        return -1;
    PCCERT_CONTEXT certificate = CertCreateCertificateContext(X509_ASN_ENCODING, buffer, (DWORD)length);
    if (!certificate) {
        CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG);
        return -1;
    }
    BOOL added = CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    CertFreeCertificateContext(certificate);
    CertCloseStore(store, CERT_CLOSE_STORE_CHECK_FLAG);
    return added ? 0 : -1;
}
