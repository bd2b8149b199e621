#include "PackageTrust/ManifestTrustStore.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gsl/gsl>

#include "halvlib/ErrorCategory.h"
#include "halvlib/String.h"
#include "Utilities/FileSystem.h"
#include "Utilities/LogStatement.h"

namespace Setup {
namespace fs = std::filesystem;

ManifestTrustStore::ManifestTrustStore(const std::vector<std::wstring>& folders)
{
    for (const std::wstring& folder : folders) {
        std::error_code error;
        if (!fs::is_directory(folder, error))
            continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            // Case-sensitive on purpose: only the exact extension marks a trusted root.
            if (entry.path().extension().native() != L".crt")
                continue;
            std::string certificate = readFileToString(entry.path().native());
            fs::path crlPath = entry.path();
            crlPath.replace_extension(L".crl");
            if (!fs::exists(crlPath))
                continue;
            roots.emplace_back(std::move(certificate), readFileToString(crlPath.native()));
        }
    }
}

void ManifestTrustStore::addRoot(const std::string& certificateText, const std::string& crlText)
{
    roots.emplace_back(certificateText, crlText);
}

std::wstring getManifestCertificatesFolder()
{
    std::wstring folder = utilities::GetProgramDataFolder() + L"\\Halvex\\Certificates\\AutoUpdate\\Manifest\\";
    LOG_INFO << "Manifest certificates folder: " << folder;
    return folder;
}

utilities::crypt::CertificateContextGuard decodeCertificatePem(const std::string& text)
{
    const DWORD textLength = gsl::narrow<DWORD>(text.size());
    DWORD length = 0;
    if (!CryptStringToBinaryA(text.data(), textLength, CRYPT_STRING_BASE64_ANY, nullptr, &length, nullptr, nullptr))
        ThrowLastError("CryptStringToBinaryA failed to determine length");
    if (length == 0)
        throw std::runtime_error("CryptStringToBinaryA() returned 0 length");
    std::string der(length, '\0');
    if (!CryptStringToBinaryA(text.data(), textLength, CRYPT_STRING_BASE64_ANY, reinterpret_cast<BYTE*>(der.data()),
                              &length, nullptr, nullptr))
        ThrowLastError("CryptStringToBinaryA failed to convert string");
    utilities::crypt::CertificateContextGuard certificate(CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), length));
    if (!certificate)
        ThrowLastError("Decoding certificate");
    return certificate;
}

utilities::crypt::CrlContextGuard decodeCrlPem(const std::string& text)
{
    std::string pem;
    pem.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        pem += text[i];
    }
    static constexpr std::string_view begin = "-----BEGIN X509 CRL-----\n";
    static constexpr std::string_view end = "-----END X509 CRL-----\n";
    const std::size_t beginAt = pem.find(begin);
    const std::size_t endAt = beginAt == std::string::npos ? std::string::npos : pem.find(end, beginAt + begin.size());
    if (endAt == std::string::npos)
        throw std::runtime_error("Bad CRL PEM header/footer");
    const std::string der = decodeBase64(pem.substr(beginAt + begin.size(), endAt - beginAt - begin.size()));
    if (der.empty())
        ThrowSystemError(ERROR_BAD_ARGUMENTS, "Cannot decode zero-length CRL");
    utilities::crypt::CrlContextGuard crl(CertCreateCRLContext(
        utilities::crypt::Encoding, reinterpret_cast<const BYTE*>(der.data()), gsl::narrow<DWORD>(der.size())));
    if (!crl)
        ThrowLastError("Decoding CRL");
    return crl;
}

std::string decodeBase64(const std::string& text)
{
    static constexpr const char* blanks = "\t\n\v\f\r ";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(blanks);
    const char* start = text.data() + first;
    const DWORD textLength = gsl::narrow<DWORD>(last - first + 1);
    DWORD length = 0;
    if (!CryptStringToBinaryA(start, textLength, CRYPT_STRING_BASE64, nullptr, &length, nullptr, nullptr))
        ThrowLastError("CryptStringToBinaryA");
    std::string bytes(length, '\0');
    if (!CryptStringToBinaryA(start, textLength, CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(bytes.data()), &length,
                              nullptr, nullptr))
        ThrowLastError("CryptStringToBinaryA(2)");
    bytes.resize(length);
    return bytes;
}

std::string readFileToString(const std::wstring& path)
{
    std::ifstream stream(fs::path(path), std::ios::binary);
    if (!stream.is_open())
        throw std::runtime_error("Failed to open " + WideToUtf8(path));
    const auto size = gsl::narrow<std::uint32_t>(fs::file_size(path));
    std::string content(size, '\0');
    stream.read(content.data(), size);
    content.resize(static_cast<std::size_t>(stream.gcount()));
    return content;
}

}  // namespace Setup
