#include "Shared/VeskHttpClient/FileCertStore.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace Vesk::Http {

namespace {

using utilities::crypt::Encoding;
using utilities::crypt::StoreGuard;

const std::string pemCrlMarker = "-----BEGIN X509 CRL-----";

std::string withCode(const char* text, DWORD code)
{
    return std::string(text) + std::to_string(code);
}

std::wstring issuerNameOf(const Core::Flavour& flavour, PCCERT_CONTEXT certificate)
{
    const DWORD size =
        CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, nullptr, 0);
    if (size == 0) {
        VESK_HTTP_LOG(flavour, Warning) << "CertGetNameString 1 failed.";
        return {};
    }
    std::wstring name(size, L'\0');
    if (CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, name.data(),
                           size) == 0) {
        VESK_HTTP_LOG(flavour, Warning) << "CertGetName failed.";
        return {};
    }
    name.resize(size - 1);
    return name;
}

}  // namespace

std::string readFileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file)
        throw std::runtime_error("Cannot open file: " + WideToUtf8(path));
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw std::runtime_error("Cannot read file: " + WideToUtf8(path));
    return bytes;
}

FileCertStore::FileCertStore(const Core::Flavour& flavour, const std::vector<std::wstring>& certificateFiles,
                             const std::vector<std::wstring>& crlFiles)
{
    if (certificateFiles.empty())
        throw std::runtime_error("Cannot use file cert store without any certificates.");
    collection = StoreGuard(CertOpenStore(CERT_STORE_PROV_COLLECTION, Encoding, 0, 0, nullptr));
    if (!collection)
        throw std::runtime_error(withCode("Failed to open collection store with error: ", GetLastError()));
    for (const std::wstring& path : crlFiles) {
        VESK_HTTP_LOG(flavour, Debug) << "Loading CRL: " << path;
        const std::string bytes = readFileBytes(path);
        if (bytes.size() < pemCrlMarker.size()) {
            VESK_HTTP_LOG(flavour, Warning) << "Skipping invalid CRL: " << path;
            continue;
        }
        if (bytes.compare(0, pemCrlMarker.size(), pemCrlMarker) == 0) {
            VESK_HTTP_LOG(flavour, Warning) << "Ignoring PEM encoded CRL: " << path;
            continue;
        }
        StoreGuard memory(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
        if (!memory)
            throw std::runtime_error(withCode("Failed to create certificate memory store with error: ", GetLastError()));
        if (!CertAddEncodedCRLToStore(memory.get(), Encoding, reinterpret_cast<const BYTE*>(bytes.data()),
                                      static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_ALWAYS, nullptr))
            throw std::runtime_error(withCode("Failed to add CRL to memory store with error: ", GetLastError()));
        addMember(std::move(memory), "Failed to add memory store to the certificate store collection, with error: ");
    }
    for (const std::wstring& path : certificateFiles) {
        StoreGuard fileStore(
            CertOpenStore(CERT_STORE_PROV_FILENAME_W, Encoding, 0, CERT_STORE_READONLY_FLAG, path.c_str()));
        if (!fileStore)
            throw std::runtime_error(withCode("Failed to open file store with error: ", GetLastError()));
        addMember(std::move(fileStore),
                  "Failed to add certificate store to the certificate store collection, with error: ");
    }
}

FileCertStore::~FileCertStore()
{
    for (StoreGuard& member : members)
        CertRemoveStoreFromCollection(collection.get(), member.get());
}

void FileCertStore::addMember(StoreGuard member, const char* failure)
{
    if (!CertAddStoreToCollection(collection.get(), member.get(), 0, 0))
        throw std::runtime_error(withCode(failure, GetLastError()));
    members.push_back(std::move(member));
}

DWORD checkIssuer(PCCERT_CONTEXT server, PCCERT_CONTEXT issuer, HCERTSTORE store)
{
    // The platform is asked for signature and time only: with the revocation flag Wine always
    // answers "revoked, no CRL", and Windows would look the serial number up in any CRL the
    // issuer's store holds, also for a certificate that this issuer never signed.
    DWORD flags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;
    if (!CertVerifySubjectCertificateContext(server, issuer, &flags))
        return CERT_STORE_SIGNATURE_FLAG;
    if (flags & CERT_STORE_SIGNATURE_FLAG)
        return flags;
    const utilities::crypt::CrlContextGuard crl = utilities::crypt::FindCrlIssuedBy(store, issuer);
    if (!crl)
        return flags | CERT_STORE_REVOCATION_FLAG | CERT_STORE_NO_CRL_FLAG;
    if (utilities::crypt::IsListedIn(server, crl.get()))
        return flags | CERT_STORE_REVOCATION_FLAG;
    return flags;
}

bool validateServerCertificate(const Core::Flavour& flavour, HCERTSTORE store, PCCERT_CONTEXT server)
{
    if (server == nullptr)
        return false;
    const Core::FileCheckRules rules = flavour.fileCheckRules();
    bool accepted = false;
    int count = 0;
    PCCERT_CONTEXT issuer = nullptr;
    // CertFindCertificateInStore frees the previous context on each call, and the last one is null.
    while ((issuer = CertFindCertificateInStore(store, Encoding, 0, CERT_FIND_ANY, nullptr, issuer)) != nullptr) {
        const std::wstring name = issuerNameOf(flavour, issuer);
        if (rules.logsEachCertificate)
            VESK_HTTP_LOG(flavour, Info) << "Validating with cert " << ++count << ": " << name;
        const DWORD flags = checkIssuer(server, issuer, store);
        if (flags & CERT_STORE_TIME_VALIDITY_FLAG)
            VESK_HTTP_LOG(flavour, Info) << "Subject certificate failed time validity check: " << name;
        if (flags & CERT_STORE_SIGNATURE_FLAG)
            VESK_HTTP_LOG(flavour, Info) << "Subject certificate failed validation against root CA: " << name;
        if ((flags & CERT_STORE_REVOCATION_FLAG) && !(flags & CERT_STORE_NO_CRL_FLAG)) {
            VESK_HTTP_LOG(flavour, Warning) << "Certificate was revoked: " << name;
            break;
        }
        if (flags == (CERT_STORE_REVOCATION_FLAG | CERT_STORE_NO_CRL_FLAG))
            VESK_HTTP_LOG(flavour, Info) << "No CRL for certificate root: " << name;
        if (flags != 0)
            continue;
        accepted = true;
        if (rules.checksCrlTimeValidity) {
            const utilities::crypt::CrlContextGuard crl = utilities::crypt::FindCrlIssuedBy(store, issuer);
            accepted = crl && CertVerifyCRLTimeValidity(nullptr, crl.get()->pCrlInfo) == 0;
            if (!accepted)
                VESK_HTTP_LOG(flavour, Warning) << "CRL time validity check failed: " << name;
        }
        break;
    }
    // Leaving the loop early keeps the current context, which is ours to free.
    if (issuer != nullptr)
        CertFreeCertificateContext(issuer);
    return accepted;
}

}  // namespace Vesk::Http
