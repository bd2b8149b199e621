#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "Utilities/StaticRaii.h"

// Owners of CryptoAPI objects, so no early return or exception leaks a context, store or key.
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

}  // namespace utilities::crypt
