#include "HttpClient/WinHttp.h"

#include "HttpClient/WinHttpApi.h"

#include <wincrypt.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "halvlib/String.h"
#include "Utilities/CryptGuards.h"
#include "Utilities/LogStatement.h"

namespace {

// mingw's winhttp.h has only the combined SEND_REQUEST flag; Windows defines the two separately.
constexpr DWORD callbackFlagSendingRequest = 0x10;
constexpr DWORD callbackFlagRequestSent = 0x20;
constexpr DWORD callbackFlagSecureFailure = 0x10000;
constexpr DWORD ignoreCertificateErrors = 0x3300;
constexpr DWORD optionSecureProtocols = 84;
constexpr DWORD optionSecurityFlags = 31;
constexpr DWORD optionServerCertContext = 78;

const std::string pemCrlMarker = "-----BEGIN X509 CRL-----";

std::string withCode(const char* text, DWORD code)
{
    return std::string(text) + std::to_string(code);
}

void CALLBACK requestCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD informationLength)
{
    // No exception may unwind into WinHTTP.
    try {
        if (context == 0) {
            LOG_ERROR << "Missing context for request callback.";
            std::terminate();
        }
        reinterpret_cast<HttpRequest*>(context)->onStatus(status, information, informationLength);
    } catch (const std::exception& e) {
        LOG_ERROR << "Exception in request callback: " << e.what();
        std::terminate();
    }
}

void win_http_set_status_callback(HINTERNET request, DWORD flags)
{
    WINHTTP_STATUS_CALLBACK previous = WinHttpSetStatusCallback(request, &requestCallback, flags, 0);
    if (previous == WINHTTP_INVALID_STATUS_CALLBACK)
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpSetStatusCallback failed: ", GetLastError()), false));
    if (previous != nullptr)
        HTTPCLIENT_THROW(HttpClient::Error("Unexpected callback already set on session", false));
}

using utilities::crypt::CertificateContextGuard;
using utilities::crypt::CrlContextGuard;
using utilities::crypt::StoreGuard;

using utilities::crypt::Encoding;

// A collection of the given files' stores for one validation.
class FileCertificateStore {
public:
    FileCertificateStore(const std::vector<std::wstring>& certificateFiles, const std::vector<std::wstring>& crlFiles)
    {
        if (certificateFiles.empty())
            throw std::runtime_error("Cannot use file cert store without any certificates.");
        collection = StoreGuard(CertOpenStore(CERT_STORE_PROV_COLLECTION, Encoding, 0, 0, nullptr));
        if (!collection)
            throw std::runtime_error(withCode("Failed to open collection store with error: ", GetLastError()));
        for (const std::wstring& path : crlFiles) {
            std::ifstream file(std::filesystem::path(path), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            if (bytes.size() < pemCrlMarker.size()) {
                LOG_WARNING << "Skipping invalid CRL: " << path;
                continue;
            }
            if (bytes.compare(0, pemCrlMarker.size(), pemCrlMarker) == 0) {
                LOG_WARNING << "Ignoring PEM encoded CRL: " << path;
                continue;
            }
            StoreGuard memory(CertOpenStore(CERT_STORE_PROV_MEMORY, Encoding, 0, 0, nullptr));
            if (!memory)
                throw std::runtime_error(withCode("Failed to create certificate memory store with error: ", GetLastError()));
            if (!CertAddEncodedCRLToStore(memory.get(), Encoding, reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_ALWAYS, nullptr))
                throw std::runtime_error(withCode("Failed to add CRL to memory store with error: ", GetLastError()));
            addMember(std::move(memory), "Failed to add memory store to the certificate store collection, with error: ");
        }
        for (const std::wstring& path : certificateFiles) {
            StoreGuard fileStore(CertOpenStore(CERT_STORE_PROV_FILENAME_W, Encoding, 0, CERT_STORE_READONLY_FLAG,
                                               path.c_str()));
            if (!fileStore)
                throw std::runtime_error(withCode("Failed to open file store with error: ", GetLastError()));
            addMember(std::move(fileStore), "Failed to add certificate store to the certificate store collection, with error: ");
        }
    }
    ~FileCertificateStore()
    {
        for (StoreGuard& member : members)
            CertRemoveStoreFromCollection(collection.get(), member.get());
    }
    FileCertificateStore(const FileCertificateStore&) = delete;
    FileCertificateStore& operator=(const FileCertificateStore&) = delete;

    HCERTSTORE get() const { return collection.get(); }

private:
    void addMember(StoreGuard member, const char* failure)
    {
        if (!CertAddStoreToCollection(collection.get(), member.get(), 0, 0))
            throw std::runtime_error(withCode(failure, GetLastError()));
        members.push_back(std::move(member));
    }

    StoreGuard collection;
    std::vector<StoreGuard> members;
};

std::wstring issuerName(PCCERT_CONTEXT certificate)
{
    DWORD size = CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, nullptr, 0);
    if (size == 0) {
        LOG_WARNING << "CertGetNameString 1 failed.";
        return {};
    }
    std::wstring name(size, L'\0');
    if (CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, nullptr, name.data(), size) == 0) {
        LOG_WARNING << "CertGetName failed.";
        return {};
    }
    name.resize(size - 1);
    return name;
}

}  // namespace

WinHttpApi& winHttp()
{
    static WinHttpApi api;
    return api;
}

void Http::CloseInternetHandle(HINTERNET handle)
{
    if (!WinHttpCloseHandle(handle)) {
        LOG_ERROR << "WinHttpCloseHandle failed: " << GetLastError();
        std::terminate();
    }
}

bool verifyCertificateAgainstFiles(PCCERT_CONTEXT serverCertificate, const std::vector<std::wstring>& certificateFiles,
                                   const std::vector<std::wstring>& crlFiles)
{
    if (serverCertificate == nullptr)
        return false;
    FileCertificateStore store(certificateFiles, crlFiles);
    PCCERT_CONTEXT issuer = nullptr;
    bool verified = false;
    // CertFindCertificateInStore frees the previous context on each call, and the last one is null.
    while ((issuer = CertFindCertificateInStore(store.get(), Encoding, 0, CERT_FIND_ANY, nullptr, issuer)) != nullptr) {
        const std::wstring name = issuerName(issuer);
        // Signature and time only: with the revocation flag Wine always answers "revoked, no CRL",
        // so the revocation is checked below against the issuer's own CRL, as Windows would.
        DWORD flags = CERT_STORE_SIGNATURE_FLAG | CERT_STORE_TIME_VALIDITY_FLAG;
        if (!CertVerifySubjectCertificateContext(serverCertificate, issuer, &flags))
            flags = CERT_STORE_SIGNATURE_FLAG;
        if (flags & CERT_STORE_TIME_VALIDITY_FLAG)
            LOG_INFO << "Subject certificate failed time validity check: " << name;
        if (flags & CERT_STORE_SIGNATURE_FLAG)
            LOG_INFO << "Subject certificate failed validation against root CA: " << name;
        if (flags != 0)
            continue;
        const CrlContextGuard crl = utilities::crypt::FindCrlIssuedBy(store.get(), issuer);
        if (!crl) {
            LOG_INFO << "No CRL for certificate root: " << name;
            continue;
        }
        if (utilities::crypt::IsListedIn(serverCertificate, crl.get())) {
            LOG_WARNING << "Certificate was revoked: " << name;
            break;
        }
        verified = CertVerifyCRLTimeValidity(nullptr, crl.get()->pCrlInfo) == 0;
        if (!verified)
            LOG_WARNING << "CRL time validity check failed: " << name;
        break;
    }
    // Leaving the loop early keeps the current issuer context, which is ours to free.
    if (issuer != nullptr)
        CertFreeCertificateContext(issuer);
    return verified;
}

HttpSession HttpSession::create(const std::wstring& userAgent, const std::string& proxyAddress, bool secure)
{
    const std::wstring proxy = Utf8ToWide(proxyAddress);
    HttpSession session;
    session.handle = InternetHandleGuard(WinHttpOpen(
        userAgent.c_str(), proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
        proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.handle)
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpOpen failed: ", GetLastError()), false));
    if (secure)
        session.restrictSecurityProtocols();
    return session;
}

void HttpSession::restrictSecurityProtocols()
{
    DWORD error = 0;
    for (DWORD mask : {0x800u, 0xA00u, 0xA80u, 0x80u}) {
        if (winHttp().setOption(handle.get(), optionSecureProtocols, &mask, sizeof(mask))) {
            char text[9];
            std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(mask));
            LOG_INFO << "Set security protocol: " << text;
            return;
        }
        error = GetLastError();
    }
    HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpSetOption failed to set security protocol: ", error), false));
}

HttpConnection HttpConnection::create(const HttpSession& session, const std::wstring& host, bool secure)
{
    LOG_INFO << "Opening connection to " << host;
    HttpConnection connection;
    connection.handle = InternetHandleGuard(
        WinHttpConnect(session.get(), host.c_str(), secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT, 0));
    if (!connection.handle)
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpConnect failed: ", GetLastError()), false));
    return connection;
}

HttpRequest::HttpRequest(const HttpConnection& connection, const std::wstring& verb, const std::wstring& path,
                         std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                         CertificateCheck certificateCheck, const std::vector<HttpHeader>& headers, bool secure)
    : certificateFiles(std::move(certificateFiles)), crlFiles(std::move(crlFiles)), certificateCheck(certificateCheck)
{
    const DWORD openFlags = WINHTTP_FLAG_BYPASS_PROXY_CACHE | WINHTTP_FLAG_ESCAPE_DISABLE | (secure ? WINHTTP_FLAG_SECURE : 0);
    handle = InternetHandleGuard(WinHttpOpenRequest(connection.get(), verb.c_str(), path.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, openFlags));
    if (!handle)
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpOpenRequest failed: ", GetLastError()), false));

    DWORD securityFlags = 0;
    switch (certificateCheck) {
    case CertificateCheck::IgnoreErrors:
        securityFlags = ignoreCertificateErrors;
        break;
    case CertificateCheck::ValidateFile:
        securityFlags = ignoreCertificateErrors;
        win_http_set_status_callback(handle.get(), callbackFlagSendingRequest | callbackFlagRequestSent);
        break;
    case CertificateCheck::RecordSystemStore:
        win_http_set_status_callback(handle.get(),
                                     callbackFlagSendingRequest | callbackFlagRequestSent | callbackFlagSecureFailure);
        break;
    default:
        throw std::logic_error("Unexpected CertificateCheck value");
    }
    if (!winHttp().setOption(handle.get(), optionSecurityFlags, &securityFlags, sizeof(securityFlags)))
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpSetOption failed: ", GetLastError()), requestSent));

    if (!headers.empty()) {
        std::wstring joined;
        for (const HttpHeader& header : headers) {
            if (!joined.empty())
                joined += L"\r\n";
            joined += header.name + L": " + header.value;
        }
        if (!WinHttpAddRequestHeaders(handle.get(), joined.c_str(), static_cast<DWORD>(joined.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD))
            HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpAddRequestHeaders failed: ", GetLastError()), requestSent));
    }
}

HttpClientResponse HttpRequest::perform(const std::string& body)
{
    sendRequest(body);
    receiveResponse();
    HttpClientResponse response;
    response.statusCode = queryHeaders();
    for (DWORD available = queryDataAvailable(); available > 0; available = queryDataAvailable()) {
        const std::size_t offset = response.body.size();
        response.body.resize(offset + available);
        const DWORD read = readData(response.body.data() + offset, available);
        if (read > available) {
            LOG_ERROR << "Too much data read; buffer overflow";
            std::terminate();
        }
        response.body.resize(offset + read);
    }
    LOG_INFO << "Response status code: " << response.statusCode;
    LOG_INFO << "Response data size: " << response.body.size();
    response.requestSent = requestSent;
    return response;
}

void HttpRequest::sendRequest(const std::string& body)
{
    LOG_INFO << "Request content size: " << body.size();
    const DWORD length = static_cast<DWORD>(body.size());
    void* optional = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    if (!winHttp().sendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, optional, length, length,
                            reinterpret_cast<DWORD_PTR>(this))) {
        const DWORD error = GetLastError();
        if (certificateCheckFailure) {
            LOG_ERROR << "WinHttpSendRequest failed with certificate check failure and error " << error;
            HTTPCLIENT_THROW(HttpClient::Error("WinHttpSendRequest failed"));
        }
        LOG_ERROR << "WinHttpSendRequest failed with error " << error;
        HTTPCLIENT_THROW(HttpClient::Error("WinHttpSendRequest failed", requestSent));
    }
}

void HttpRequest::receiveResponse()
{
    if (!winHttp().receiveResponse(handle.get(), nullptr)) {
        // The file check closes the request from the callback; the send may still have reported
        // success, so the failure shows only here.
        if (certificateCheckFailure) {
            LOG_ERROR << "WinHttpReceiveResponse failed with certificate check failure and error " << GetLastError();
            HTTPCLIENT_THROW(HttpClient::Error("WinHttpReceiveResponse failed"));
        }
        LOG_ERROR << "WinHttpReceiveResponse failed with error " << GetLastError();
        HTTPCLIENT_THROW(HttpClient::Error("WinHttpReceiveResponse failed", requestSent));
    }
}

int HttpRequest::queryHeaders()
{
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!winHttp().queryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        LOG_ERROR << "WinHttpQueryHeaders failed with error " << GetLastError();
        HTTPCLIENT_THROW(HttpClient::Error("WinHttpQueryHeaders failed", requestSent));
    }
    return static_cast<int>(status);
}

DWORD HttpRequest::queryDataAvailable()
{
    DWORD available = 0;
    if (!winHttp().queryDataAvailable(handle.get(), &available)) {
        LOG_ERROR << "WinHttpQueryDataAvailable failed with error " << GetLastError();
        HTTPCLIENT_THROW(HttpClient::Error("WinHttpQueryDataAvailable failed", requestSent));
    }
    return available;
}

DWORD HttpRequest::readData(char* buffer, DWORD size)
{
    DWORD read = 0;
    if (!winHttp().readData(handle.get(), buffer, size, &read)) {
        LOG_ERROR << "WinHttpReadData failed with error " << GetLastError();
        HTTPCLIENT_THROW(HttpClient::Error("WinHttpReadData failed", requestSent));
    }
    return read;
}

void HttpRequest::enableProxyAuthentication(const std::wstring& username, const std::wstring& password)
{
    DWORD supported = 0;
    DWORD first = 0;
    DWORD target = 0;
    if (!winHttp().queryAuthSchemes(handle.get(), &supported, &first, &target))
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpQueryAuthSchemes failed with error: ", GetLastError()), requestSent));
    DWORD scheme = 0;
    for (DWORD candidate : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_PASSPORT,
                            WINHTTP_AUTH_SCHEME_DIGEST}) {
        if (supported & candidate) {
            scheme = candidate;
            break;
        }
    }
    if (scheme == 0) {
        // Basic would send the password in clear text.
        if (supported & WINHTTP_AUTH_SCHEME_BASIC)
            LOG_WARNING << "Basic authentication was offered by the proxy server.";
        HTTPCLIENT_THROW(HttpClient::Error("No supported proxy authentication schemes.", requestSent));
    }
    if (!winHttp().setCredentials(handle.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, username.c_str(), password.c_str(), nullptr))
        HTTPCLIENT_THROW(HttpClient::Error(withCode("WinHttpSetCredentials failed with error: ", GetLastError()), requestSent));
}

void HttpRequest::onStatus(DWORD status, void* information, DWORD informationLength)
{
    switch (certificateCheck) {
    case CertificateCheck::ValidateFile:
        validateFileCertificateCheck(status);
        return;
    case CertificateCheck::RecordSystemStore:
        recordSystemStoreCertificateCheck(status, information, informationLength);
        return;
    default:
        throw std::logic_error("Unexpected callback");
    }
}

void HttpRequest::recordSystemStoreCertificateCheck(DWORD status, void* information, DWORD informationLength)
{
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST:
        LOG_INFO << "Sending request";
        requestSent = true;
        return;
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
        LOG_INFO << "Request sent";
        return;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: {
        certificateCheckFailure = true;
        DWORD flags = 0;
        if (information != nullptr && informationLength >= sizeof(DWORD))
            flags = *static_cast<const DWORD*>(information);
        LOG_ERROR << "WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: " << flags;
        static const std::pair<DWORD, const char*> names[] = {
            {0x1, "CERT_REV_FAILED"},     {0x2, "INVALID_CERT"},      {0x4, "CERT_REVOKED"},
            {0x8, "INVALID_CA"},          {0x10, "CERT_CN_INVALID"},  {0x20, "CERT_DATE_INVALID"},
            {0x80000000, "SECURITY_CHANNEL_ERROR"}};
        for (const auto& [flag, name] : names) {
            if (flags & flag)
                LOG_INFO << "WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: WINHTTP_CALLBACK_STATUS_FLAG_" << name;
        }
        return;
    }
    default:
        LOG_ERROR << "RecordSystemStoreCertificateCheck has unexpected dwInternetStatus value: " << status;
    }
}

void HttpRequest::validateFileCertificateCheck(DWORD status)
{
    if (!handle) {
        LOG_INFO << "Request handle already closed; avoiding callback reentrancy.";
        return;
    }
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST: {
        LOG_INFO << "ValidateFileCertificateCheck: Validate certificate against file on WINHTTP_CALLBACK_STATUS_SENDING_REQUEST";
        PCCERT_CONTEXT context = nullptr;
        DWORD size = sizeof(context);
        if (!WinHttpQueryOption(handle.get(), optionServerCertContext, &context, &size)) {
            LOG_ERROR << "Failed to query server cert context; terminating HTTP connection.";
            handle.Reset();
            return;
        }
        CertificateContextGuard certificate(context);
        bool verified = false;
        try {
            verified = verifyCertificateAgainstFiles(certificate.get(), certificateFiles, crlFiles);
        } catch (const std::exception& e) {
            LOG_ERROR << e.what();
        }
        if (verified) {
            LOG_INFO << "Certificate check succeeded";
            requestSent = true;
            return;
        }
        LOG_ERROR << "Failed to validate server cert; terminating HTTP connection.";
        certificateCheckFailure = true;
        handle.Reset();
        return;
    }
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
        LOG_INFO << "ValidateFileCertificateCheck: Ignore WINHTTP_CALLBACK_STATUS_REQUEST_SENT";
        return;
    default:
        LOG_ERROR << "ValidateFileCertificateCheck: Unexpected dwInternetStatus value: " << status;
    }
}
