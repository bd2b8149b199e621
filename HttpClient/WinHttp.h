#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "HttpClient/HttpClient.h"
#include "HttpClient/HttpTransport.h"
#include "Utilities/StaticRaii.h"

namespace Http {
// WinHttpCloseHandle; a failure is logged and ends the process.
void CloseInternetHandle(HINTERNET handle);
}  // namespace Http

using InternetHandleGuard = StaticRaii<HINTERNET, &Http::CloseInternetHandle>;

class HttpSession {
public:
    static HttpSession create(const std::wstring& userAgent, const std::string& proxyAddress, bool secure);
    HINTERNET get() const { return handle.get(); }

private:
    void restrictSecurityProtocols();
    InternetHandleGuard handle;
};

class HttpConnection {
public:
    static HttpConnection create(const HttpSession& session, const std::wstring& host, bool secure);
    HINTERNET get() const { return handle.get(); }

private:
    InternetHandleGuard handle;
};

class HttpRequest : public IHttpExchange {
public:
    HttpRequest(const HttpConnection& connection, const std::wstring& verb, const std::wstring& path,
                std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                CertificateCheck certificateCheck, const std::vector<HttpHeader>& headers, bool secure);
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    HttpClientResponse perform(const std::string& body) override;
    void enableProxyAuthentication(const std::wstring& username, const std::wstring& password) override;

    // Called by the status callback only.
    void onStatus(DWORD status, void* information, DWORD informationLength);

private:
    void sendRequest(const std::string& body);
    void receiveResponse();
    int queryHeaders();
    DWORD queryDataAvailable();
    DWORD readData(char* buffer, DWORD size);
    void recordSystemStoreCertificateCheck(DWORD status, void* information, DWORD informationLength);
    void validateFileCertificateCheck(DWORD status);

    std::vector<std::wstring> certificateFiles;
    std::vector<std::wstring> crlFiles;
    CertificateCheck certificateCheck;
    bool certificateCheckFailure = false;
    bool requestSent = false;
    InternetHandleGuard handle;
};

// Checks a server certificate against certificate files and DER revocation lists.
bool verifyCertificateAgainstFiles(PCCERT_CONTEXT serverCertificate, const std::vector<std::wstring>& certificateFiles,
                                   const std::vector<std::wstring>& crlFiles);
