#pragma once

#include <exception>
#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpConnection.h"
#include "Shared/VeskHttpClient/HttpTypes.h"
#include "Shared/VeskHttpClient/ProxyDispatch.h"

namespace Vesk::Http {

// One WinHTTP request: opened and flagged for its certificate mode at construction, sent by
// perform (twice after proxy credentials were set).
class HttpRequest : public Core::IExchange {
public:
    HttpRequest(const Core::Flavour& flavour, const HttpConnection& connection, const std::wstring& verb,
                const std::wstring& path, std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                CertificateCheck certificateCheck, const std::vector<HttpHeader>& headers, bool secure);
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    Core::ResponseRecord perform(const std::string& body) override;
    void enableProxyAuthentication(const std::wstring& username, const std::wstring& password) override;

    // The status callback's entry; never throws: a failure is kept and thrown by the WinHTTP call
    // that delivered it.
    void onStatus(DWORD status, void* information, DWORD informationLength) noexcept;

private:
    void dispatchStatus(DWORD status, void* information, DWORD informationLength);
    void recordSystemStoreCertificateCheck(DWORD status, void* information, DWORD informationLength);
    void validateFileCertificateCheck(DWORD status);
    // After each WinHTTP call: what the callback found counts, whatever the call returned.
    void checkCallbackOutcome(const char* call, const char* failure, DWORD error);

    void sendRequest(const std::string& body);
    void receiveResponse();
    int queryStatusCode();
    std::wstring queryRawHeaders();
    DWORD queryDataAvailable();
    DWORD readData(char* buffer, DWORD size);

    const Core::Flavour& flavour;
    std::vector<std::wstring> certificateFiles;
    std::vector<std::wstring> crlFiles;
    CertificateCheck certificateCheck;
    bool certificateCheckFailure = false;
    bool requestSent = false;
    Core::InternetHandle handle;
    std::string callbackFailure;
    bool callbackFailed = false;
};

// The header lines of a raw header block by name, trimmed; a later line of a name wins.
std::map<std::wstring, std::wstring> parseRawHeaders(const std::wstring& raw);

}  // namespace Vesk::Http
