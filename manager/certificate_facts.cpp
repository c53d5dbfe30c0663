// Decodes a certificate with CryptoAPI into what the tree and the report show of it.
#include "manager.h"

static ReportDate LocalDateOf(const FILETIME* utc)
{
    FILETIME local;
    SYSTEMTIME time;
    ZeroMemory(&time, sizeof time);
    FileTimeToLocalFileTime(utc, &local);
    FileTimeToSystemTime(&local, &time);
    ReportDate date = { time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond };
    return date;
}

int DecodeCertificate(const unsigned char* der, int length, CertificateFacts* facts, void** decoded)
{
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der, length);
    if (!context)
        return 0;
    *decoded = (void*)context;
    facts->hasSubject = CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, facts->subject,
                                           sizeof facts->subject) != 0;
    facts->hasIssuer = CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, NULL,
                                          facts->issuer, sizeof facts->issuer) != 0;
    facts->serial = context->pCertInfo->SerialNumber.pbData;
    facts->serialLength = context->pCertInfo->SerialNumber.cbData;
    facts->notBefore = LocalDateOf(&context->pCertInfo->NotBefore);
    facts->notAfter = LocalDateOf(&context->pCertInfo->NotAfter);
    return 1;
}

void ReleaseCertificate(void* decoded)
{
    CertFreeCertificateContext((PCCERT_CONTEXT)decoded);
}
