#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PackageTrust/ManifestParser.h"
#include "PackageTrust/ManifestTrustStore.h"

namespace Setup {

// Returns when one of the signatures allowed by the mask is valid for the data and chains to a
// trusted root; throws std::runtime_error otherwise.
void verifyManifestSignatures(const ManifestTrustStore& trustStore, const std::vector<ManifestSignature>& signatures,
                              std::uint32_t mask, const void* data, std::size_t length);

// The signature is base64 with its most significant byte first, as signing tools write it.
bool verifySignature(std::uint32_t algorithm, const std::string& base64Signature, const void* data,
                     std::size_t length, PCCERT_CONTEXT signerCertificate);

// The chain holds the intermediates, the signer's issuer first; it must not be empty.
void verifyChainToTrustedRoot(PCCERT_CONTEXT signerCertificate, const std::vector<std::string>& chain,
                              const ManifestTrustStore& trustStore, bool checkTimeValidity);

// Flags: CERT_STORE_SIGNATURE_FLAG, CERT_STORE_TIME_VALIDITY_FLAG, CERT_STORE_REVOCATION_FLAG.
void verifySubjectAgainstIssuer(PCCERT_CONTEXT subject, PCCERT_CONTEXT issuer, DWORD flags);

std::string thumbprintOf(PCCERT_CONTEXT certificate);
std::string subjectNameOf(PCCERT_CONTEXT certificate);

}  // namespace Setup
