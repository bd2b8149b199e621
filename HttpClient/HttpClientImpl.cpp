#include "HttpClient/HttpClientImpl.h"

#include <stdexcept>

#include "halvlib/String.h"
#include "HttpClient/WinHttpTransport.h"
#include "Utilities/LogStatement.h"

namespace {

constexpr int statusOk = 200;
constexpr int statusProxyAuthenticationRequired = 407;

std::string toBody(const std::vector<char>& body)
{
    return std::string(body.begin(), body.end());
}

}  // namespace

std::vector<Proxy> splitAutomaticProxies(const std::wstring& proxyList)
{
    std::vector<Proxy> found;
    std::size_t start = 0;
    while (start <= proxyList.size()) {
        std::size_t end = proxyList.find_first_of(L"; \t", start);
        if (end == std::wstring::npos)
            end = proxyList.size();
        if (end > start) {
            std::string address = WideToUtf8(std::wstring_view(proxyList).substr(start, end - start));
            LOG_INFO << "Discovered the automatic proxy " << address;
            found.emplace_back(AutoDiscovered, address, "", "");
        }
        start = end + 1;
    }
    return found;
}

std::set<Proxy> buildProxyCandidates(const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                                     const std::wstring& host, IHttpTransport& transport)
{
    std::set<Proxy> candidates = proxies;
    if (proxyDiscovery == 0) {
        std::vector<Proxy> discovered = transport.discoverAutomaticProxies(L"https://" + host + L"/");
        if (std::optional<Proxy> system = transport.discoverSystemProxy())
            discovered.push_back(*system);
        candidates.insert(discovered.begin(), discovered.end());
    }
    if (proxyDiscovery == 0 || proxyDiscovery == 1)
        candidates.insert(Proxy(EmptyProxy, "", "", ""));
    return candidates;
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::vector<std::wstring> certificateFiles,
                               std::vector<std::wstring> crlFiles, CertificateCheck certificateCheck,
                               std::set<Proxy> proxies, std::int32_t proxyDiscovery, std::wstring confirmationPath,
                               bool secure)
    : HttpClientImpl(std::move(host), std::move(proxies), proxyDiscovery, std::move(confirmationPath),
                     std::make_unique<WinHttpTransport>(std::move(certificateFiles), std::move(crlFiles),
                                                        certificateCheck, secure))
{
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                               std::wstring confirmationPath, std::unique_ptr<IHttpTransport> transport)
    : host(std::move(host)), proxies(std::move(proxies)), proxyDiscovery(proxyDiscovery),
      confirmationPath(std::move(confirmationPath)), transport(std::move(transport))
{
}

std::vector<Proxy> HttpClientImpl::orderProxyCandidates()
{
    std::set<Proxy> candidates = buildProxyCandidates(proxies, proxyDiscovery, host, *transport);
    std::vector<Proxy> ordered;
    if (connectedProxy) {
        candidates.erase(*connectedProxy);
        ordered.push_back(*connectedProxy);
    }
    ordered.insert(ordered.end(), candidates.begin(), candidates.end());
    return ordered;
}

std::string HttpClientImpl::doAction(const std::wstring& verb, const std::wstring& path,
                                     const std::vector<HttpHeader>& headers, const std::string& body)
{
    LOG_INFO << "Sending HTTP '" << verb << "' request to: " << path;

    if (transport->isOpen()) {
        try {
            HttpClientResponse response = transport->openRequest(verb, path, headers)->perform(body);
            if (response.statusCode != statusOk)
                HTTPCLIENT_THROW(HttpClient::Error("Bad response from existing connection", response.statusCode,
                                                   response.requestSent));
            return toBody(response.body);
        } catch (const HttpClient::Error& e) {
            if (e.requestSent)
                throw;
            LOG_WARNING << "Failed to reuse existing connection: " << e.what();
        } catch (const std::exception& e) {
            LOG_WARNING << "Failed to reuse existing connection: " << e.what();
        }
    }

    bool certificateCheckFailure = false;
    for (const Proxy& proxy : orderProxyCandidates()) {
        transport->close();
        LOG_INFO << "Attempting to connect using proxy '" << proxy.address << "' of type '" << ProxyTypeName(proxy.type)
                 << "'.";
        try {
            transport->open(proxy.address, host);
            if (confirmationPath.empty()) {
                HttpClientResponse response = sendRequestThroughPotentialProxy(verb, path, headers, body, proxy);
                if (response.statusCode != statusOk)
                    HTTPCLIENT_THROW(HttpClient::Error("Bad response from new connection", response.statusCode,
                                                       response.requestSent));
                connectedProxy = proxy;
                return toBody(response.body);
            }
            LOG_INFO << "Sending request for connection confirmation through potential proxy";
            HttpClientResponse confirmation =
                sendRequestThroughPotentialProxy(L"GET", confirmationPath, headers, "", proxy);
            if (confirmation.statusCode != statusOk) {
                LOG_INFO << "Failed to connect using proxy '" << proxy.address << "' with status code: "
                         << confirmation.statusCode;
                continue;
            }
            HttpClientResponse response = transport->openRequest(verb, path, headers)->perform(body);
            if (response.statusCode != statusOk)
                HTTPCLIENT_THROW(HttpClient::Error("Bad response from new connection", response.statusCode,
                                                   response.requestSent));
            connectedProxy = proxy;
            return toBody(response.body);
        } catch (const HttpClient::Error& e) {
            if (e.requestSent)
                throw;
            LOG_INFO << "Failed to connect using proxy '" << proxy.address << "' with error: " << e.what();
            certificateCheckFailure = certificateCheckFailure || e.certificateCheckFailure;
        } catch (const std::exception& e) {
            LOG_INFO << "Failed to connect using proxy '" << proxy.address << "' with error: " << e.what();
        }
    }

    transport->close();
    if (certificateCheckFailure)
        HTTPCLIENT_THROW(HttpClient::Error("Failed to connect with any proxy"));
    HTTPCLIENT_THROW(HttpClient::Error("Failed to connect with any proxy", false));
}

HttpClientResponse HttpClientImpl::sendRequestThroughPotentialProxy(const std::wstring& verb, const std::wstring& path,
                                                                    const std::vector<HttpHeader>& headers,
                                                                    const std::string& body, const Proxy& proxy)
{
    std::unique_ptr<IHttpExchange> request = transport->openRequest(verb, path, headers);
    HttpClientResponse response = request->perform(body);
    if (response.statusCode == statusProxyAuthenticationRequired) {
        if (proxy.username.empty() || proxy.password.empty())
            HTTPCLIENT_THROW(HttpClient::Error("Credentials were not provided to authenticate with proxy:" + proxy.address,
                                               response.requestSent));
        request->enableProxyAuthentication(Utf8ToWide(proxy.username), Utf8ToWide(proxy.password));
        response = request->perform(body);
    }
    LOG_INFO << "trySendRequestThroughPotentialProxy returning response with status code: " << response.statusCode;
    return response;
}
