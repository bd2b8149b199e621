#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpTypes.h"
#include "Utilities/Proxy.h"

namespace Vesk::Http {

// The body and status of a response with a good status.
struct HttpResponse {
    std::string body;
    int statusCode = 0;
};

// The files of the ValidateFile mode: trusted certificates and DER revocation lists.
struct CertificateFiles {
    std::vector<std::wstring> certificateFiles;
    std::vector<std::wstring> crlFiles;
};

// A synchronous HTTPS client bound to one host. Success is any status from 200 to 299; every other
// outcome throws HttpClient::Error. One request at a time: the client holds no lock.
class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    virtual std::string httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                 const std::string& body) = 0;
    virtual HttpResponse httpPostWithResponse(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                              const std::string& body) = 0;
    virtual std::string httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers) = 0;
    virtual std::string httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers) = 0;
    virtual std::string httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                const std::string& body) = 0;
};

class IHttpClientFactory {
public:
    virtual ~IHttpClientFactory() = default;
    // The system store judges the server; proxies are discovered, then a direct connection.
    virtual std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent) = 0;
    // The given files judge the server; each new connection is first proven with a GET of "status".
    virtual std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent,
                                                      const CertificateFiles& files) = 0;
    // As the first, through the caller's proxy candidates and discovery rule (0 discover, then
    // direct; 1 the candidates, then direct; other values the candidates only).
    virtual std::shared_ptr<IHttpClient> createClient(const std::wstring& host, const std::wstring& userAgent,
                                                      const std::set<Proxy>& proxies, std::int32_t proxyDiscovery) = 0;
};

}  // namespace Vesk::Http
