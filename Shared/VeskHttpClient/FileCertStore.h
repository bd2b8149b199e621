#pragma once

#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpFlavour.h"
#include "Utilities/CryptGuards.h"

namespace Vesk::Http {

// A collection of the stores of the given certificate files and DER revocation lists, built for
// one server-certificate check. PEM revocation lists are ignored.
class FileCertStore {
public:
    // Throws std::runtime_error without certificate files, for an unreadable file and for a store
    // that cannot be built.
    FileCertStore(const Core::Flavour& flavour, const std::vector<std::wstring>& certificateFiles,
                  const std::vector<std::wstring>& crlFiles);
    ~FileCertStore();
    FileCertStore(const FileCertStore&) = delete;
    FileCertStore& operator=(const FileCertStore&) = delete;

    HCERTSTORE get() const { return collection.get(); }

private:
    void addMember(utilities::crypt::StoreGuard member, const char* failure);

    utilities::crypt::StoreGuard collection;
    std::vector<utilities::crypt::StoreGuard> members;
};

// The whole file; throws std::runtime_error when it cannot be read.
std::string readFileBytes(const std::wstring& path);

// What CertVerifySubjectCertificateContext leaves of signature, time validity and revocation
// (with CERT_STORE_NO_CRL_FLAG) for the issuer. Revocation is decided here from the issuer's own
// CRL, and only when the issuer signed the server certificate: serial numbers are per issuer.
DWORD checkIssuer(PCCERT_CONTEXT server, PCCERT_CONTEXT issuer, HCERTSTORE store);

// Whether a certificate of the store signed the server certificate, which is within its validity
// period and not revoked by that certificate's CRL.
bool validateServerCertificate(const Core::Flavour& flavour, HCERTSTORE store, PCCERT_CONTEXT server);

}  // namespace Vesk::Http
