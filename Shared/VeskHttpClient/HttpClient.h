#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpError.h"
#include "Shared/VeskHttpClient/IHttpClient.h"

namespace Vesk::Http {

class HttpClientImpl;

class HttpClient : public IHttpClient {
public:
    class Error : public Core::Error {
    public:
        Error(const std::string& message, bool requestSent);
        // A refused server certificate: the request never reached the server.
        explicit Error(const std::string& message);
        // A response with a bad status, which comes with its headers and body.
        Error(const std::string& message, int statusCode, bool requestSent,
              std::map<std::wstring, std::wstring> headers, std::string body);

        std::optional<std::map<std::wstring, std::wstring>> headers;
        std::optional<std::string> body;
    };

    HttpClient(const std::wstring& host, const std::wstring& userAgent,
               const std::vector<std::wstring>& certificateFiles, const std::vector<std::wstring>& crlFiles,
               CertificateCheck certificateCheck, const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
               const std::wstring& confirmationPath, bool secure, std::uint16_t port);
    explicit HttpClient(std::unique_ptr<HttpClientImpl> impl);
    ~HttpClient() override;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    std::string httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers,
                         const std::string& body) override;
    HttpResponse httpPostWithResponse(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                      const std::string& body) override;
    std::string httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers) override;
    std::string httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers) override;
    std::string httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers,
                        const std::string& body) override;

private:
    std::unique_ptr<HttpClientImpl> impl;
};

// Holds no state: every client is new and independent.
class HttpClientFactory : public IHttpClientFactory {
public:
    std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent) override;
    std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent,
                                              const CertificateFiles& files) override;
    std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent,
                                              const std::set<Proxy>& proxies, std::int32_t proxyDiscovery) override;
};

}  // namespace Vesk::Http
