#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "Utilities/StaticRaii.h"

// Owners of CryptoAPI objects, so no early return or exception leaks a context, store or key,
// and the CRL lookup the certificate checks share.
namespace utilities::crypt {

inline void FreeCertificateContext(PCCERT_CONTEXT context) { CertFreeCertificateContext(context); }
inline void FreeCrlContext(PCCRL_CONTEXT context) { CertFreeCRLContext(context); }
// Forced: contexts taken out of the store are owned by their own guards.
inline void ForceCloseStore(HCERTSTORE store) { CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG); }
inline void DestroyKey(HCRYPTKEY key) { CryptDestroyKey(key); }

using CertificateContextGuard = StaticRaii<PCCERT_CONTEXT, &FreeCertificateContext>;
using CrlContextGuard = StaticRaii<PCCRL_CONTEXT, &FreeCrlContext>;
using StoreGuard = StaticRaii<HCERTSTORE, &ForceCloseStore>;
using KeyGuard = StaticRaii<HCRYPTKEY, &DestroyKey>;

constexpr DWORD Encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The CRL in the store that the issuer issued and signed, or none. Certificate checks ask it
// themselves: Wine answers the platform's revocation flag with "revoked" whatever the CRL says.
inline CrlContextGuard FindCrlIssuedBy(HCERTSTORE store, PCCERT_CONTEXT issuer)
{
    return CrlContextGuard(
        CertFindCRLInStore(store, Encoding, CRL_FIND_ISSUED_BY_SIGNATURE_FLAG, CRL_FIND_ISSUED_BY, issuer, nullptr));
}

inline bool IsListedIn(PCCERT_CONTEXT subject, PCCRL_CONTEXT crl)
{
    PCRL_INFO crlInfo = crl->pCrlInfo;
    return !CertVerifyCRLRevocation(Encoding, subject->pCertInfo, 1, &crlInfo);
}

}  // namespace utilities::crypt
