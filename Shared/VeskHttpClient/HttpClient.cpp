#include "Shared/VeskHttpClient/HttpClient.h"

#include "Shared/VeskHttpClient/HttpClientImpl.h"

namespace Vesk::Http {

HttpClient::Error::Error(const std::string& message, bool requestSent)
    : Core::Error(message, false, requestSent, std::nullopt)
{
}

HttpClient::Error::Error(const std::string& message)
    : Core::Error(message + ": certificate check failure", true, false, std::nullopt)
{
}

HttpClient::Error::Error(const std::string& message, int statusCode, bool requestSent,
                         std::map<std::wstring, std::wstring> headers, std::string body)
    : Core::Error(message + ": status code=" + std::to_string(statusCode), false, requestSent, statusCode),
      headers(std::move(headers)), body(std::move(body))
{
}

namespace {

const std::wstring confirmationPath = L"status";

}  // namespace

HttpClient::HttpClient(const std::wstring& host, const std::wstring& userAgent,
                       const std::vector<std::wstring>& certificateFiles, const std::vector<std::wstring>& crlFiles,
                       CertificateCheck certificateCheck, const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                       const std::wstring& confirmationPath, bool secure, std::uint16_t port)
    : impl(new HttpClientImpl(host, userAgent, certificateFiles, crlFiles, certificateCheck, proxies, proxyDiscovery,
                              confirmationPath, secure, port))
{
}

HttpClient::HttpClient(std::unique_ptr<HttpClientImpl> impl) : impl(std::move(impl)) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                 const std::string& body)
{
    return impl->doAction(L"POST", path, headers, body).body;
}

HttpResponse HttpClient::httpPostWithResponse(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                              const std::string& body)
{
    return impl->doAction(L"POST", path, headers, body);
}

std::string HttpClient::httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers)
{
    return impl->doAction(L"GET", path, headers, "").body;
}

std::string HttpClient::httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers)
{
    return impl->doAction(L"DELETE", path, headers, "").body;
}

std::string HttpClient::httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers,
                                const std::string& body)
{
    return impl->doAction(L"PUT", path, headers, body).body;
}

std::shared_ptr<IHttpClient> HttpClientFactory::createClient(const std::wstring& host, const std::wstring& userAgent)
{
    return createClient(host, userAgent, {}, 0);
}

std::shared_ptr<IHttpClient> HttpClientFactory::createClient(const std::wstring& host, const std::wstring& userAgent,
                                                             const CertificateFiles& files)
{
    return std::make_shared<HttpClient>(host, userAgent, files.certificateFiles, files.crlFiles,
                                        CertificateCheck::ValidateFile, std::set<Proxy>{}, 0, confirmationPath, true,
                                        0);
}

std::shared_ptr<IHttpClient> HttpClientFactory::createClient(const std::wstring& host, const std::wstring& userAgent,
                                                             const std::set<Proxy>& proxies,
                                                             std::int32_t proxyDiscovery)
{
    return std::make_shared<HttpClient>(host, userAgent, std::vector<std::wstring>{}, std::vector<std::wstring>{},
                                        CertificateCheck::RecordSystemStore, proxies, proxyDiscovery, L"", true, 0);
}

}  // namespace Vesk::Http
