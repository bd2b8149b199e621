#include "Shared/VeskHttpClient/HttpRequest.h"

#include <exception>
#include <stdexcept>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>

#include "halvlib/Logging.h"
#include "Shared/VeskHttpClient/FileCertStore.h"
#include "Shared/VeskHttpClient/WinHttpApi.h"
#include "Utilities/LogStatement.h"

namespace Vesk::Http {

namespace {

// mingw's winhttp.h has only the combined SEND_REQUEST flag; Windows defines the two separately.
constexpr DWORD callbackFlagSendingRequest = 0x10;
constexpr DWORD callbackFlagRequestSent = 0x20;
constexpr DWORD callbackFlagSecureFailure = 0x10000;
constexpr DWORD ignoreCertificateErrors = 0x3300;
constexpr DWORD optionSecurityFlags = 31;
constexpr DWORD optionServerCertContext = 78;

std::string withCode(const char* text, DWORD code)
{
    return std::string(text) + std::to_string(code);
}

void CALLBACK requestCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD informationLength)
{
    if (context == 0) {
        // Nothing tells whose request this is: both logs get the line.
        HALVLIB_LOG(halvlib::logging::Error) << "Missing context for request callback.";
        LOG_ERROR << "Missing context for request callback.";
        std::terminate();
    }
    reinterpret_cast<HttpRequest*>(context)->onStatus(status, information, informationLength);
}

void win_http_set_status_callback(const Core::Flavour& flavour, HINTERNET request, DWORD flags)
{
    const WINHTTP_STATUS_CALLBACK previous = WinHttpSetStatusCallback(request, &requestCallback, flags, 0);
    if (previous == WINHTTP_INVALID_STATUS_CALLBACK)
        VESK_HTTP_FAIL(flavour, withCode("WinHttpSetStatusCallback failed: ", GetLastError()), false);
    if (previous != nullptr)
        VESK_HTTP_FAIL(flavour, "Unexpected callback already set on session", false);
}

}  // namespace

std::map<std::wstring, std::wstring> parseRawHeaders(const std::wstring& raw)
{
    std::vector<std::wstring> lines;
    boost::algorithm::split(lines, raw, boost::algorithm::is_any_of(L"\r\n"));
    std::map<std::wstring, std::wstring> headers;
    for (const std::wstring& line : lines) {
        const std::size_t colon = line.find(L':');
        if (colon == std::wstring::npos)
            continue;  // the status line, and empty lines
        headers[boost::algorithm::trim_copy(line.substr(0, colon))] = boost::algorithm::trim_copy(line.substr(colon + 1));
    }
    return headers;
}

HttpRequest::HttpRequest(const Core::Flavour& flavour, const HttpConnection& connection, const std::wstring& verb,
                         const std::wstring& path, std::vector<std::wstring> certificateFiles,
                         std::vector<std::wstring> crlFiles, CertificateCheck certificateCheck,
                         const std::vector<HttpHeader>& headers, bool secure)
    : flavour(flavour), certificateFiles(std::move(certificateFiles)), crlFiles(std::move(crlFiles)),
      certificateCheck(certificateCheck)
{
    const DWORD openFlags =
        WINHTTP_FLAG_BYPASS_PROXY_CACHE | WINHTTP_FLAG_ESCAPE_DISABLE | (secure ? WINHTTP_FLAG_SECURE : 0);
    handle = Core::InternetHandle(flavour, WinHttpOpenRequest(connection.get(), verb.c_str(), path.c_str(), nullptr,
                                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                              openFlags));
    if (!handle)
        VESK_HTTP_FAIL(flavour, withCode("WinHttpOpenRequest failed: ", GetLastError()), false);

    DWORD securityFlags = 0;
    switch (certificateCheck) {
    case CertificateCheck::IgnoreErrors:
        securityFlags = ignoreCertificateErrors;
        break;
    case CertificateCheck::ValidateFile:
        securityFlags = ignoreCertificateErrors;
        win_http_set_status_callback(flavour, handle.get(), callbackFlagSendingRequest | callbackFlagRequestSent);
        break;
    case CertificateCheck::RecordSystemStore:
        win_http_set_status_callback(flavour, handle.get(),
                                     callbackFlagSendingRequest | callbackFlagRequestSent | callbackFlagSecureFailure);
        break;
    default:
        throw std::logic_error("Unexpected CertificateCheck value");
    }
    if (!Core::winHttp().setOption(handle.get(), optionSecurityFlags, &securityFlags, sizeof(securityFlags)))
        VESK_HTTP_FAIL(flavour, withCode("WinHttpSetOption failed: ", GetLastError()), requestSent);

    if (!headers.empty()) {
        std::wstring joined;
        for (const HttpHeader& header : headers) {
            if (!joined.empty())
                joined += L"\r\n";
            joined += header.name + L": " + header.value;
        }
        if (!WinHttpAddRequestHeaders(handle.get(), joined.c_str(), static_cast<DWORD>(joined.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD))
            VESK_HTTP_FAIL(flavour, withCode("WinHttpAddRequestHeaders failed: ", GetLastError()), requestSent);
    }
}

Core::ResponseRecord HttpRequest::perform(const std::string& body)
{
    sendRequest(body);
    receiveResponse();
    Core::ResponseRecord response;
    response.statusCode = queryStatusCode();
    if (flavour.readsResponseHeaders())
        response.headers = parseRawHeaders(queryRawHeaders());
    for (DWORD available = queryDataAvailable(); available > 0; available = queryDataAvailable()) {
        const std::size_t offset = response.body.size();
        response.body.resize(offset + available);
        VESK_HTTP_LOG(flavour, Debug) << "Reading data. Number of bytes to read: " << available;
        const DWORD read = readData(response.body.data() + offset, available);
        if (read > available) {
            VESK_HTTP_LOG(flavour, Error) << "Too much data read; buffer overflow";
            std::terminate();
        }
        if (read < available)
            VESK_HTTP_LOG(flavour, Debug) << "Less data read than expected";
        response.body.resize(offset + read);
    }
    VESK_HTTP_LOG(flavour, Info) << "Response status code: " << response.statusCode;
    VESK_HTTP_LOG(flavour, Info) << "Response data size: " << response.body.size();
    response.requestSent = requestSent;
    return response;
}

void HttpRequest::checkCallbackOutcome(const char* call, const char* failure, DWORD error)
{
    if (certificateCheckFailure) {
        // Whatever the call returned: a platform that goes on after a refusal must not turn it
        // into a success or an ordinary failure.
        VESK_HTTP_LOG(flavour, Error) << call << " failed with certificate check failure and error " << error;
        VESK_HTTP_FAIL_CERTIFICATE(flavour, failure);
    }
    if (callbackFailed) {
        VESK_HTTP_LOG(flavour, Error) << call << " status callback failed: " << callbackFailure;
        VESK_HTTP_FAIL(flavour, std::string(failure) + ": " + callbackFailure, requestSent);
    }
}

void HttpRequest::sendRequest(const std::string& body)
{
    VESK_HTTP_LOG(flavour, Info) << "Request content size: " << body.size();
    const DWORD length = static_cast<DWORD>(body.size());
    void* optional = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    const BOOL sent = Core::winHttp().sendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, optional, length,
                                                  length, reinterpret_cast<DWORD_PTR>(this));
    const DWORD error = sent ? 0 : GetLastError();
    checkCallbackOutcome("WinHttpSendRequest", "WinHttpSendRequest failed", error);
    if (!sent) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpSendRequest failed with error " << error;
        VESK_HTTP_FAIL(flavour, "WinHttpSendRequest failed", requestSent);
    }
}

void HttpRequest::receiveResponse()
{
    VESK_HTTP_LOG(flavour, Debug) << "Receiving response";
    const BOOL received = Core::winHttp().receiveResponse(handle.get(), nullptr);
    const DWORD error = received ? 0 : GetLastError();
    checkCallbackOutcome("WinHttpReceiveResponse", "WinHttpReceiveResponse failed", error);
    if (!received) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpReceiveResponse failed with error " << error;
        VESK_HTTP_FAIL(flavour, "WinHttpReceiveResponse failed", requestSent);
    }
}

int HttpRequest::queryStatusCode()
{
    VESK_HTTP_LOG(flavour, Debug) << "Querying response headers";
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!Core::winHttp().queryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpQueryHeaders failed with error " << GetLastError();
        VESK_HTTP_FAIL(flavour, "WinHttpQueryHeaders failed", requestSent);
    }
    return static_cast<int>(status);
}

std::wstring HttpRequest::queryRawHeaders()
{
    VESK_HTTP_LOG(flavour, Debug) << "Querying response headers size";
    DWORD size = 0;
    if (!Core::winHttp().queryHeaders(handle.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            VESK_HTTP_LOG(flavour, Error) << "WinHttpQueryHeaders failed with error " << error;
            VESK_HTTP_FAIL(flavour, "WinHttpQueryHeaders failed", requestSent);
        }
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD filled = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    VESK_HTTP_LOG(flavour, Debug) << "Querying response headers";
    if (!Core::winHttp().queryHeaders(handle.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                      text.data(), &filled, WINHTTP_NO_HEADER_INDEX)) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpQueryHeaders failed with error " << GetLastError();
        VESK_HTTP_FAIL(flavour, "WinHttpQueryHeaders failed", requestSent);
    }
    text.resize(std::min<std::size_t>(filled / sizeof(wchar_t), text.size()));
    return text;
}

DWORD HttpRequest::queryDataAvailable()
{
    VESK_HTTP_LOG(flavour, Debug) << "Querying data available";
    DWORD available = 0;
    if (!Core::winHttp().queryDataAvailable(handle.get(), &available)) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpQueryDataAvailable failed with error " << GetLastError();
        VESK_HTTP_FAIL(flavour, "WinHttpQueryDataAvailable failed", requestSent);
    }
    return available;
}

DWORD HttpRequest::readData(char* buffer, DWORD size)
{
    DWORD read = 0;
    if (!Core::winHttp().readData(handle.get(), buffer, size, &read)) {
        VESK_HTTP_LOG(flavour, Error) << "WinHttpReadData failed with error " << GetLastError();
        VESK_HTTP_FAIL(flavour, "WinHttpReadData failed", requestSent);
    }
    return read;
}

void HttpRequest::enableProxyAuthentication(const std::wstring& username, const std::wstring& password)
{
    DWORD supported = 0;
    DWORD first = 0;
    DWORD target = 0;
    if (!Core::winHttp().queryAuthSchemes(handle.get(), &supported, &first, &target))
        VESK_HTTP_FAIL(flavour, withCode("WinHttpQueryAuthSchemes failed with error: ", GetLastError()), requestSent);
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
            VESK_HTTP_LOG(flavour, Warning) << "Basic authentication was offered by the proxy server.";
        VESK_HTTP_FAIL(flavour, "No supported proxy authentication schemes.", requestSent);
    }
    if (!Core::winHttp().setCredentials(handle.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, username.c_str(),
                                        password.c_str(), nullptr))
        VESK_HTTP_FAIL(flavour, withCode("WinHttpSetCredentials failed with error: ", GetLastError()), requestSent);
}

void HttpRequest::onStatus(DWORD status, void* information, DWORD informationLength) noexcept
{
    // No exception may unwind into WinHTTP: keep it for the call that delivered the notification.
    try {
        VESK_HTTP_LOG(flavour, Debug) << "HttpRequest::requestCallback with dwInternetStatus=" << status;
        dispatchStatus(status, information, informationLength);
        return;
    } catch (const std::exception& e) {
        if (!callbackFailed)
            callbackFailure = e.what();
    } catch (...) {
        if (!callbackFailed)
            callbackFailure = "unknown exception";
    }
    callbackFailed = true;
    // A file check that did not finish must not let the request reach an unproven server.
    if (certificateCheck == CertificateCheck::ValidateFile && !requestSent) {
        certificateCheckFailure = true;
        handle.reset();
    }
}

void HttpRequest::dispatchStatus(DWORD status, void* information, DWORD informationLength)
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
    VESK_HTTP_LOG(flavour, Debug) << "dwInternetStatus=" << status;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST:
        VESK_HTTP_LOG(flavour, Info) << "Sending request";
        requestSent = true;
        return;
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
        VESK_HTTP_LOG(flavour, Info) << "Request sent";
        return;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: {
        certificateCheckFailure = true;
        DWORD flags = 0;
        if (information != nullptr && informationLength >= sizeof(DWORD))
            flags = *static_cast<const DWORD*>(information);
        VESK_HTTP_LOG(flavour, Error) << "WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: " << flags;
        static const std::pair<DWORD, const char*> names[] = {
            {0x1, "CERT_REV_FAILED"}, {0x2, "INVALID_CERT"},      {0x4, "CERT_REVOKED"},
            {0x8, "INVALID_CA"},      {0x10, "CERT_CN_INVALID"}, {0x20, "CERT_DATE_INVALID"},
            {0x80000000, "SECURITY_CHANNEL_ERROR"}};
        for (const auto& [flag, name] : names) {
            if (flags & flag)
                VESK_HTTP_LOG(flavour, Info) << "WINHTTP_CALLBACK_STATUS_SECURE_FAILURE: WINHTTP_CALLBACK_STATUS_FLAG_"
                                             << name;
        }
        return;
    }
    default:
        VESK_HTTP_LOG(flavour, Error) << "RecordSystemStoreCertificateCheck has unexpected dwInternetStatus value: "
                                      << status;
    }
}

void HttpRequest::validateFileCertificateCheck(DWORD status)
{
    if (!handle && flavour.ignoresCallbacksOnClosedRequest()) {
        VESK_HTTP_LOG(flavour, Info) << "Request handle already closed; avoiding callback reentrancy.";
        return;
    }
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST: {
        VESK_HTTP_LOG(flavour, Info)
            << "ValidateFileCertificateCheck: Validate certificate against file on WINHTTP_CALLBACK_STATUS_SENDING_REQUEST";
        PCCERT_CONTEXT context = nullptr;
        DWORD size = sizeof(context);
        if (!Core::winHttp().queryOption(handle.get(), optionServerCertContext, &context, &size)) {
            const std::string line = flavour.certificateQueryFailureLine();
            if (!line.empty())
                VESK_HTTP_LOG(flavour, Error) << line;
            handle.reset();
            return;
        }
        const utilities::crypt::CertificateContextGuard certificate(context);
        bool accepted = false;
        try {
            const FileCertStore store(flavour, certificateFiles, crlFiles);
            accepted = validateServerCertificate(flavour, store.get(), certificate.get());
        } catch (const std::exception& e) {
            VESK_HTTP_LOG(flavour, Error) << e.what();
        }
        if (accepted) {
            VESK_HTTP_LOG(flavour, Info) << "Certificate check succeeded";
            requestSent = true;
            return;
        }
        VESK_HTTP_LOG(flavour, Error) << flavour.certificateRefusedLine();
        certificateCheckFailure = true;
        handle.reset();
        return;
    }
    case WINHTTP_CALLBACK_STATUS_REQUEST_SENT:
        VESK_HTTP_LOG(flavour, Info) << "ValidateFileCertificateCheck: Ignore WINHTTP_CALLBACK_STATUS_REQUEST_SENT";
        return;
    default:
        VESK_HTTP_LOG(flavour, Error) << "ValidateFileCertificateCheck: Unexpected dwInternetStatus value: " << status;
    }
}

}  // namespace Vesk::Http
