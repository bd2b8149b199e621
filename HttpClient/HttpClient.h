#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "HttpClient/IHttpClient.h"
#include "Shared/VeskHttpClient/HttpError.h"
#include "Utilities/Proxy.h"

using CertificateCheck = Vesk::Http::CertificateCheck;

class HttpClientImpl;

class HttpClient : public IHttpClient {
public:
    class Error : public Vesk::Http::Core::Error {
    public:
        Error(const std::string& message, bool requestSent);
        Error(const std::string& message, int statusCode, bool requestSent);
        // A failed server-certificate check: the request never reached the server.
        explicit Error(const std::string& message);
    };

    // The installer's client: system certificate store, HTTPS, no confirmation request.
    HttpClient(const std::wstring& host, const std::set<Proxy>& proxies, std::int32_t proxyDiscovery);
    HttpClient(const std::wstring& host, const std::vector<std::wstring>& certificateFiles,
               const std::vector<std::wstring>& crlFiles, CertificateCheck certificateCheck,
               const std::set<Proxy>& proxies, std::int32_t proxyDiscovery, const std::wstring& confirmationPath,
               bool secure);
    explicit HttpClient(std::unique_ptr<HttpClientImpl> impl);
    ~HttpClient() override;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    std::string httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body) override;
    std::string httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers) override;
    std::string httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers) override;
    std::string httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body) override;

private:
    std::unique_ptr<HttpClientImpl> impl;
};

namespace Http {
// WinHttpCloseHandle; a failure is logged and ends the process.
void CloseInternetHandle(HINTERNET handle) noexcept;
}  // namespace Http

// The user agent of every session: "Halvex Cloud Installer/<file version of this program>".
const std::wstring& HttpClientUserAgent();
