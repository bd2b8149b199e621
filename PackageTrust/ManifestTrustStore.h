#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <utility>
#include <vector>

#include "Utilities/CryptGuards.h"

namespace Setup {

// The roots that manifest signatures may chain to, each with its CRL, in trust order. Held as
// PEM texts: each chain check decodes the pairs it visits.
class ManifestTrustStore {
public:
    // Loads the .crt/.crl pairs of each folder that exists (normally none, or the manifest
    // certificates folder).
    explicit ManifestTrustStore(const std::vector<std::wstring>& folders);

    void addRoot(const std::string& certificateText, const std::string& crlText);

    std::vector<std::pair<std::string, std::string>> roots;
    int checkTimeValidity = 1;
};

// "<program data>\Halvex\Certificates\AutoUpdate\Manifest\"
std::wstring getManifestCertificatesFolder();

utilities::crypt::CertificateContextGuard decodeCertificatePem(const std::string& text);
utilities::crypt::CrlContextGuard decodeCrlPem(const std::string& text);
std::string decodeBase64(const std::string& text);
std::string readFileToString(const std::wstring& path);

}  // namespace Setup
