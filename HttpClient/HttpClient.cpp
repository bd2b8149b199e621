#include "HttpClient/HttpClient.h"

#include <exception>

#include "halvlib/String.h"
#include "HttpClient/HttpClientImpl.h"
#include "Utilities/LogStatement.h"
#include "Utilities/Module.h"
#include "Utilities/Version.h"

namespace {

std::wstring defaultUserAgent()
{
    const std::wstring product = L"Halvex Cloud Installer";
    try {
        return product + L"/" + Utf8ToWide(utilities::GetFileVersion(utilities::Module::Path()));
    } catch (const std::exception& e) {
        LOG_WARNING << "Failed to add version to user agent: " << e.what();
        return product + L"/0.0.0";
    }
}

const std::wstring userAgent = defaultUserAgent();

}  // namespace

const std::wstring& HttpClientUserAgent()
{
    return userAgent;
}

void Http::CloseInternetHandle(HINTERNET handle) noexcept
{
    if (!WinHttpCloseHandle(handle)) {
        LOG_ERROR << "WinHttpCloseHandle failed: " << GetLastError();
        std::terminate();
    }
}

HttpClient::Error::Error(const std::string& message, bool requestSent)
    : Vesk::Http::Core::Error(message, false, requestSent, std::nullopt)
{
}

HttpClient::Error::Error(const std::string& message, int statusCode, bool requestSent)
    : Vesk::Http::Core::Error(message + ": status code=" + std::to_string(statusCode), false, requestSent, statusCode)
{
}

HttpClient::Error::Error(const std::string& message)
    : Vesk::Http::Core::Error(message + ": certificate check failure", true, false, std::nullopt)
{
}

HttpClient::HttpClient(const std::wstring& host, const std::set<Proxy>& proxies, std::int32_t proxyDiscovery)
    : HttpClient(host, {}, {}, CertificateCheck::RecordSystemStore, proxies, proxyDiscovery, L"", true)
{
}

HttpClient::HttpClient(const std::wstring& host, const std::vector<std::wstring>& certificateFiles,
                       const std::vector<std::wstring>& crlFiles, CertificateCheck certificateCheck,
                       const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                       const std::wstring& confirmationPath, bool secure)
    : impl(std::make_unique<HttpClientImpl>(host, certificateFiles, crlFiles, certificateCheck, proxies,
                                            proxyDiscovery, confirmationPath, secure))
{
}

HttpClient::HttpClient(std::unique_ptr<HttpClientImpl> impl) : impl(std::move(impl)) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::httpPost(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body)
{
    return impl->doAction(L"POST", path, headers, body);
}

std::string HttpClient::httpGet(const std::wstring& path, const std::vector<HttpHeader>& headers)
{
    return impl->doAction(L"GET", path, headers, "");
}

std::string HttpClient::httpDelete(const std::wstring& path, const std::vector<HttpHeader>& headers)
{
    return impl->doAction(L"DELETE", path, headers, "");
}

std::string HttpClient::httpPut(const std::wstring& path, const std::vector<HttpHeader>& headers, const std::string& body)
{
    return impl->doAction(L"PUT", path, headers, body);
}
