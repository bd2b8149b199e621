#include "PackageTrust/SignatureVerification.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>

#include <gsl/gsl>

#include "halvlib/ErrorCategory.h"
#include "halvlib/Logging.h"
#include "halvlib/String.h"
#include "PackageTrust/Digests.h"

namespace Setup {
namespace {
using utilities::crypt::CertificateContextGuard;
using utilities::crypt::CrlContextGuard;
using utilities::crypt::Encoding;
using utilities::crypt::KeyGuard;
using utilities::crypt::StoreGuard;

constexpr const char* kRefusal = ": refusing to load unverified content";

std::string utcText(const FILETIME& time)
{
    SYSTEMTIME parts{};
    if (!FileTimeToSystemTime(&time, &parts))
        return "(invalid time)";
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", parts.wYear, parts.wMonth, parts.wDay,
                  parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

// The platform's revocation flag is not used (see FindCrlIssuedBy). The same question is asked
// of the CRL beside the issuer in its store, with the platform's answers: no such CRL, or the
// subject listed in it, leaves the flag.
bool isNotRevokedByIssuerCrl(PCCERT_CONTEXT subject, PCCERT_CONTEXT issuer)
{
    if (issuer->hCertStore == nullptr)
        return false;
    const CrlContextGuard crl = utilities::crypt::FindCrlIssuedBy(issuer->hCertStore, issuer);
    return crl && !utilities::crypt::IsListedIn(subject, crl.get());
}

DWORD checkSubjectAgainstIssuer(PCCERT_CONTEXT subject, PCCERT_CONTEXT issuer, DWORD flags)
{
    DWORD left = flags & ~static_cast<DWORD>(CERT_STORE_REVOCATION_FLAG);
    if (!CertVerifySubjectCertificateContext(subject, issuer, &left))
        ThrowLastError("CertVerifySubjectCertificateContext failed");
    if ((flags & CERT_STORE_REVOCATION_FLAG) && !isNotRevokedByIssuerCrl(subject, issuer))
        left |= CERT_STORE_REVOCATION_FLAG;
    return left;
}

bool sameIssuerAsSubject(PCCERT_CONTEXT issued, PCCERT_CONTEXT root)
{
    const CERT_NAME_BLOB& issuer = issued->pCertInfo->Issuer;
    const CERT_NAME_BLOB& subject = root->pCertInfo->Subject;
    return issuer.cbData == subject.cbData && std::equal(issuer.pbData, issuer.pbData + issuer.cbData, subject.pbData);
}

// Self-issued by name alone: no certificate between the signer and the root needs to be, so
// none is allowed, whatever key signed it.
bool isSelfIssued(PCCERT_CONTEXT certificate) { return sameIssuerAsSubject(certificate, certificate); }

std::string nameAndThumbprint(PCCERT_CONTEXT certificate)
{
    return subjectNameOf(certificate) + " thumbprint " + thumbprintOf(certificate);
}

// The extension decoded as the given structure, or no bytes when the certificate has none. An
// extension that cannot be decoded fails: it must not pass for an absent one.
std::vector<BYTE> decodedExtension(PCCERT_CONTEXT certificate, const char* oid, const char* structure)
{
    const CERT_EXTENSION* extension =
        CertFindExtension(oid, certificate->pCertInfo->cExtension, certificate->pCertInfo->rgExtension);
    if (extension == nullptr)
        return {};
    DWORD size = 0;
    if (!CryptDecodeObjectEx(Encoding, structure, extension->Value.pbData, extension->Value.cbData, 0, nullptr,
                             nullptr, &size))
        ThrowLastError("CryptDecodeObjectEx failed");
    std::vector<BYTE> decoded(size);
    if (!CryptDecodeObjectEx(Encoding, structure, extension->Value.pbData, extension->Value.cbData, 0, nullptr,
                             decoded.data(), &size))
        ThrowLastError("CryptDecodeObjectEx failed");
    return decoded;
}

std::optional<CERT_BASIC_CONSTRAINTS2_INFO> basicConstraintsOf(PCCERT_CONTEXT certificate)
{
    const std::vector<BYTE> decoded = decodedExtension(certificate, szOID_BASIC_CONSTRAINTS2, X509_BASIC_CONSTRAINTS2);
    if (decoded.size() < sizeof(CERT_BASIC_CONSTRAINTS2_INFO))
        return std::nullopt;
    CERT_BASIC_CONSTRAINTS2_INFO constraints{};
    std::memcpy(&constraints, decoded.data(), sizeof(constraints));
    return constraints;
}

// Without a key usage extension any use is allowed.
bool maySignCertificates(PCCERT_CONTEXT certificate)
{
    const std::vector<BYTE> decoded = decodedExtension(certificate, szOID_KEY_USAGE, X509_KEY_USAGE);
    if (decoded.empty())
        return true;
    const auto* usage = reinterpret_cast<const CRYPT_BIT_BLOB*>(decoded.data());
    return usage->cbData > 0 && (usage->pbData[0] & CERT_KEY_CERT_SIGN_KEY_USAGE) != 0;
}

void requirePathLengthWithin(const std::optional<CERT_BASIC_CONSTRAINTS2_INFO>& constraints,
                             PCCERT_CONTEXT certificate, std::size_t intermediatesBelow)
{
    if (constraints && constraints->fPathLenConstraint && intermediatesBelow > constraints->dwPathLenConstraint)
        throw std::runtime_error("Certificate path length constraint exceeded: " + nameAndThumbprint(certificate));
}

// The certificate issued the one below it: it must be a CA that may sign certificates, and
// allow as many intermediates below it as there are.
void requireCertificateAuthority(PCCERT_CONTEXT certificate, std::size_t intermediatesBelow)
{
    if (isSelfIssued(certificate))
        throw std::runtime_error("Chain certificate is self-issued: " + nameAndThumbprint(certificate));
    const std::optional<CERT_BASIC_CONSTRAINTS2_INFO> constraints = basicConstraintsOf(certificate);
    if (!constraints || !constraints->fCA)
        throw std::runtime_error("Certificate is not a CA: " + nameAndThumbprint(certificate));
    if (!maySignCertificates(certificate))
        throw std::runtime_error("Certificate key usage does not allow signing certificates: " +
                                 nameAndThumbprint(certificate));
    requirePathLengthWithin(constraints, certificate, intermediatesBelow);
}

}  // namespace

std::string thumbprintOf(PCCERT_CONTEXT certificate)
{
    // The platform keeps the hash on the context once computed: the chain checks name the same
    // certificates in many log lines, and a provider acquired for each one costs milliseconds.
    BYTE hash[20];
    DWORD size = sizeof(hash);
    if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size) ||
        size != sizeof(hash)) {
        MultiHasher hasher(HashAlgorithm::sha1);
        hasher.update(certificate->pbCertEncoded, certificate->cbCertEncoded);
        return hasher.hexDigest(HashAlgorithm::sha1);
    }
    return toHex(std::string(reinterpret_cast<const char*>(hash), size));
}

std::string subjectNameOf(PCCERT_CONTEXT certificate)
{
    const DWORD length = CertGetNameStringW(certificate, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    std::wstring name(length, L'\0');
    CertGetNameStringW(certificate, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    if (!name.empty() && name.back() == L'\0')
        name.pop_back();
    return WideToUtf8(name);
}

void verifySubjectAgainstIssuer(PCCERT_CONTEXT subject, PCCERT_CONTEXT issuer, DWORD flags)
{
    HALVLIB_LOG(halvlib::logging::Debug).appendFormat(
        "Verifying subject cert (%s thumbprint %s) against issuer (%s thumbprint %s) with flags (%lx)",
        subjectNameOf(subject).c_str(), thumbprintOf(subject).c_str(), subjectNameOf(issuer).c_str(),
        thumbprintOf(issuer).c_str(), static_cast<unsigned long>(flags));
    const DWORD left = checkSubjectAgainstIssuer(subject, issuer, flags);
    if (left == 0)
        return;
    std::string text = "Certificate verification failed:";
    if (left & CERT_STORE_TIME_VALIDITY_FLAG) {
        text += "\n\tCertificate expired: " + subjectNameOf(subject) + ": NotBefore " +
                utcText(subject->pCertInfo->NotBefore) + ", NotAfter " + utcText(subject->pCertInfo->NotAfter);
    }
    if (left & CERT_STORE_SIGNATURE_FLAG)
        text += "\n\tIssuer did not sign the subject certificate";
    if (left & CERT_STORE_REVOCATION_FLAG)
        text += "\n\tIssuer revoked the subject certificate";
    text += "\n\tSubject: " + subjectNameOf(subject) + "\n\tIssuer: " + subjectNameOf(issuer);
    throw std::runtime_error(text);
}

void verifyChainToTrustedRoot(PCCERT_CONTEXT signerCertificate, const std::vector<std::string>& chain,
                              const ManifestTrustStore& trustStore, bool checkTimeValidity)
{
    if (chain.empty())
        throw std::invalid_argument("Empty intermediate certificates chain");
    std::vector<CertificateContextGuard> intermediates;
    intermediates.reserve(chain.size());
    for (const std::string& pem : chain)
        intermediates.push_back(decodeCertificatePem(pem));

    const DWORD linkFlags = checkTimeValidity ? CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG
                                              : CERT_STORE_SIGNATURE_FLAG;
    if (isSelfIssued(signerCertificate))
        throw std::runtime_error("Signer certificate is self-issued: " + nameAndThumbprint(signerCertificate));
    PCCERT_CONTEXT subject = signerCertificate;
    // Self-issued intermediates are refused, so every one below an issuer counts for its path length.
    std::size_t intermediatesBelow = 0;
    for (const CertificateContextGuard& issuer : intermediates) {
        verifySubjectAgainstIssuer(subject, issuer.get(), linkFlags);
        if (!sameIssuerAsSubject(subject, issuer.get()))
            throw std::runtime_error("Certificate issuer name does not match the subject of the next certificate: " +
                                     nameAndThumbprint(subject));
        requireCertificateAuthority(issuer.get(), intermediatesBelow);
        subject = issuer.get();
        ++intermediatesBelow;
    }

    PCCERT_CONTEXT last = intermediates.back().get();
    HALVLIB_LOG(halvlib::logging::Debug) << "Finding root CA cert for intermediate cert " << subjectNameOf(last)
                                         << " thumbprint " << thumbprintOf(last);
    const DWORD rootFlags = linkFlags | CERT_STORE_REVOCATION_FLAG;
    for (const auto& [rootText, crlText] : trustStore.roots) {
        // Both are decoded first: a malformed CRL of any candidate fails the check.
        CertificateContextGuard root = decodeCertificatePem(rootText);
        CrlContextGuard crl = decodeCrlPem(crlText);
        HALVLIB_LOG(halvlib::logging::Debug) << "Candidate root CA cert " << subjectNameOf(root.get())
                                             << " thumbprint " << thumbprintOf(root.get());
        if (!sameIssuerAsSubject(last, root.get())) {
            HALVLIB_LOG(halvlib::logging::Debug)
                << "Candidate root CA cert subject did not match subject cert issuer; trying next candidate";
            continue;
        }
        StoreGuard store(CertOpenStore(CERT_STORE_PROV_MEMORY, Encoding, 0, 0, nullptr));
        if (!store)
            throw std::runtime_error("CertOpenStore failed");
        if (!CertAddCertificateContextToStore(store.get(), root.get(), CERT_STORE_ADD_ALWAYS, nullptr))
            ThrowLastError("CertAddCertificateContextToStore failed");
        if (!CertAddCRLContextToStore(store.get(), crl.get(), CERT_STORE_ADD_ALWAYS, nullptr))
            ThrowLastError("CertAddCRLContextToStore failed");
        // The store's own copy, so that the revocation check finds the CRL beside it.
        CertificateContextGuard storeRoot(CertFindCertificateInStore(store.get(), Encoding, 0, CERT_FIND_ANY,
                                                                     nullptr, nullptr));
        if (!storeRoot)
            ThrowLastError("CertFindCertificateInStore failed");
        if (checkSubjectAgainstIssuer(last, storeRoot.get(), CERT_STORE_SIGNATURE_FLAG) != 0) {
            HALVLIB_LOG(halvlib::logging::Debug)
                << "Candidate root CA cert did not sign subject cert; trying next candidate";
            continue;
        }
        verifySubjectAgainstIssuer(last, storeRoot.get(), rootFlags);
        // The root is trusted as it stands, save for the path length it allows below it.
        requirePathLengthWithin(basicConstraintsOf(root.get()), root.get(), intermediates.size());
        return;
    }
    throw std::runtime_error("Intermediate certificate was not issued by a trusted root CA certificate: " +
                             subjectNameOf(last) + " thumbprint " + thumbprintOf(last));
}

bool verifySignature(std::uint32_t algorithm, const std::string& base64Signature, const void* data,
                     std::size_t length, PCCERT_CONTEXT signerCertificate)
{
    MultiHasher hasher(algorithm);
    const HCRYPTPROV provider = hasher.provider(algorithm);
    const HCRYPTHASH hash = hasher.hash(algorithm);
    hasher.update(data, length);
    HCRYPTKEY imported = 0;
    if (!CryptImportPublicKeyInfo(provider, Encoding, &signerCertificate->pCertInfo->SubjectPublicKeyInfo, &imported))
        return false;
    const KeyGuard key(imported);
    // The platform wants the signature least significant byte first.
    std::string signature = decodeBase64(base64Signature);
    std::reverse(signature.begin(), signature.end());
    return CryptVerifySignatureW(hash, reinterpret_cast<const BYTE*>(signature.data()),
                                 gsl::narrow<DWORD>(signature.size()), key.get(), nullptr, 0) != FALSE;
}

void verifyManifestSignatures(const ManifestTrustStore& trustStore, const std::vector<ManifestSignature>& signatures,
                              std::uint32_t mask, const void* data, std::size_t length)
{
    std::vector<const ManifestSignature*> kept;
    for (const ManifestSignature& signature : signatures) {
        if (signature.algorithm & mask)
            kept.push_back(&signature);
    }
    if (kept.empty())
        throw std::runtime_error(std::string("Could not find any signatures") + kRefusal);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const ManifestSignature* a, const ManifestSignature* b) { return a->algorithm > b->algorithm; });
    for (const ManifestSignature* signature : kept) {
        CertificateContextGuard signer = decodeCertificatePem(signature->signer);
        if (!verifySignature(signature->algorithm, signature->signature, data, length, signer.get()))
            throw std::runtime_error(std::string("Found corrupt signature") + kRefusal);
        try {
            verifyChainToTrustedRoot(signer.get(), signature->chain, trustStore, trustStore.checkTimeValidity != 0);
            return;
        } catch (const std::exception& e) {
            HALVLIB_LOG(halvlib::logging::Warning) << e.what();
        }
    }
    throw std::runtime_error(std::string("Could not verify any signatures") + kRefusal);
}

}  // namespace Setup
