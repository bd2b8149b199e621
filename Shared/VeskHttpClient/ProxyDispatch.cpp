#include "Shared/VeskHttpClient/ProxyDispatch.h"

#include <optional>

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

#include "Shared/VeskHttpClient/HttpError.h"
#include "Shared/VeskHttpClient/HttpRequest.h"
#include "Shared/VeskHttpClient/WinHttpApi.h"

namespace Vesk::Http::Core {

namespace {

constexpr int statusProxyAuthenticationRequired = 407;
constexpr DWORD autodetectionFailed = 12180;  // ERROR_WINHTTP_AUTODETECTION_FAILED

// Frees what a proxy query left in the record, and only that.
class ProxyInfo {
public:
    ProxyInfo() = default;
    ~ProxyInfo()
    {
        if (info.lpszProxy != nullptr)
            GlobalFree(info.lpszProxy);
        if (info.lpszProxyBypass != nullptr)
            GlobalFree(info.lpszProxyBypass);
    }
    ProxyInfo(const ProxyInfo&) = delete;
    ProxyInfo& operator=(const ProxyInfo&) = delete;

    WINHTTP_PROXY_INFO info = {};
};

class WinHttpTransport : public ITransport {
public:
    WinHttpTransport(const Flavour& flavour, std::wstring userAgent, RequestSettings settings)
        : flavour(flavour), userAgent(std::move(userAgent)), settings(std::move(settings))
    {
    }

    void open(const std::string& proxyAddress, const std::wstring& host) override
    {
        close();
        session.emplace(HttpSession::create(flavour, Utf8ToWide(proxyAddress), userAgent, settings.secure));
        connection.emplace(HttpConnection::create(flavour, *session, host, settings.secure, settings.port));
    }

    bool isOpen() const override { return session && connection; }

    void close() override
    {
        connection.reset();
        session.reset();
    }

    std::unique_ptr<IExchange> openRequest(const std::wstring& verb, const std::wstring& path,
                                           const std::vector<HttpHeader>& headers) override
    {
        return std::make_unique<HttpRequest>(flavour, *connection, verb, path, settings.certificateFiles,
                                             settings.crlFiles, settings.certificateCheck, headers, settings.secure);
    }

    std::vector<Proxy> discoverAutomaticProxies(const std::wstring& url) override
    {
        const InternetHandle temporary(flavour, WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                                            WINHTTP_NO_PROXY_BYPASS, 0));
        if (!temporary) {
            VESK_HTTP_LOG(flavour, Error) << "Failed to open a WinHttp session: " << GetLastError();
            return {};
        }
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        options.fAutoLogonIfChallenged = FALSE;
        ProxyInfo result;
        if (!winHttp().getProxyForUrl(temporary.get(), url.c_str(), &options, &result.info)) {
            const DWORD error = GetLastError();
            if (error == autodetectionFailed && flavour.tellsMissingProxyScriptApart())
                VESK_HTTP_LOG(flavour, Info) << "Did not discover an URL for a PAC file";
            else
                VESK_HTTP_LOG(flavour, Warning) << "WinHttpGetProxyForUrl returned: " << error;
            return {};
        }
        if (result.info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || result.info.lpszProxy == nullptr)
            return {};
        return splitAutomaticProxies(flavour, result.info.lpszProxy);
    }

    std::optional<Proxy> discoverSystemProxy() override
    {
        ProxyInfo result;
        if (!winHttp().getDefaultProxyConfiguration(&result.info) ||
            result.info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || result.info.lpszProxy == nullptr)
            return std::nullopt;
        const std::string address = WideToUtf8(std::wstring_view(result.info.lpszProxy));
        VESK_HTTP_LOG(flavour, Info) << "Discovered the system proxy " << address;
        return Proxy(System, address, "", "");
    }

private:
    const Flavour& flavour;
    std::wstring userAgent;
    RequestSettings settings;
    // The connection is reset first, so that it closes before its session.
    std::optional<HttpSession> session;
    std::optional<HttpConnection> connection;
};

}  // namespace

std::unique_ptr<ITransport> MakeWinHttpTransport(const Flavour& flavour, std::wstring userAgent,
                                                 RequestSettings settings)
{
    return std::make_unique<WinHttpTransport>(flavour, std::move(userAgent), std::move(settings));
}

std::vector<Proxy> splitAutomaticProxies(const Flavour& flavour, const std::wstring& proxyList)
{
    std::vector<std::wstring> pieces;
    boost::algorithm::split(pieces, proxyList, boost::algorithm::is_any_of(L"; \t"));
    std::vector<Proxy> found;
    for (const std::wstring& piece : pieces) {
        if (piece.empty())
            continue;
        const std::string address = WideToUtf8(piece);
        VESK_HTTP_LOG(flavour, Info) << "Discovered the automatic proxy " << address;
        found.emplace_back(AutoDiscovered, address, "", "");
    }
    return found;
}

std::set<Proxy> buildProxyCandidates(const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                                     const std::wstring& host, ITransport& transport)
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

ProxyDispatch::ProxyDispatch(const Flavour& flavour, std::wstring host, std::set<Proxy> proxies,
                             std::int32_t proxyDiscovery, std::wstring confirmationPath,
                             std::unique_ptr<ITransport> transport)
    : flavour(flavour), host(std::move(host)), proxies(std::move(proxies)), proxyDiscovery(proxyDiscovery),
      confirmationPath(std::move(confirmationPath)), transport(std::move(transport))
{
}

std::vector<Proxy> ProxyDispatch::orderProxyCandidates()
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

ResponseRecord ProxyDispatch::doAction(const std::wstring& verb, const std::wstring& path,
                                       const std::vector<HttpHeader>& headers, const std::string& body)
{
    if (transport->isOpen()) {
        try {
            ResponseRecord response = transport->openRequest(verb, path, headers)->perform(body);
            if (!flavour.isGoodStatus(response.statusCode))
                VESK_HTTP_FAIL_STATUS(flavour, "Bad response from existing connection", response);
            return response;
        } catch (const Error& e) {
            if (e.requestSent)
                throw;
            VESK_HTTP_LOG(flavour, Warning) << "Failed to reuse existing connection: " << e.what();
        } catch (const std::exception& e) {
            VESK_HTTP_LOG(flavour, Warning) << "Failed to reuse existing connection: " << e.what();
        }
    }

    bool certificateCheckFailure = false;
    for (const Proxy& proxy : orderProxyCandidates()) {
        transport->close();
        VESK_HTTP_LOG(flavour, Info) << "Attempting to connect using proxy '" << proxy.address << "' of type '"
                                     << ProxyTypeName(proxy.type) << "'.";
        try {
            transport->open(proxy.address, host);
            if (!confirmationPath.empty()) {
                VESK_HTTP_LOG(flavour, Info) << "Sending request for connection confirmation through potential proxy";
                const ResponseRecord confirmation =
                    sendRequestThroughPotentialProxy(L"GET", confirmationPath, headers, "", proxy);
                if (!flavour.isGoodStatus(confirmation.statusCode)) {
                    VESK_HTTP_LOG(flavour, Info) << "Failed to connect using proxy '" << proxy.address << "'";
                    continue;
                }
            }
            ResponseRecord response = confirmationPath.empty()
                                          ? sendRequestThroughPotentialProxy(verb, path, headers, body, proxy)
                                          : transport->openRequest(verb, path, headers)->perform(body);
            if (!flavour.isGoodStatus(response.statusCode))
                VESK_HTTP_FAIL_STATUS(flavour, "Bad response from new connection", response);
            connectedProxy = proxy;
            return response;
        } catch (const Error& e) {
            if (e.requestSent)
                throw;
            VESK_HTTP_LOG(flavour, Info) << "Failed to connect using proxy '" << proxy.address
                                         << "' with error: " << e.what();
            certificateCheckFailure = certificateCheckFailure || e.certificateCheckFailure;
        } catch (const std::exception& e) {
            VESK_HTTP_LOG(flavour, Info) << "Failed to connect using proxy '" << proxy.address
                                         << "' with error: " << e.what();
        }
    }

    transport->close();
    if (certificateCheckFailure)
        VESK_HTTP_FAIL_CERTIFICATE(flavour, "Failed to connect with any proxy");
    VESK_HTTP_FAIL(flavour, "Failed to connect with any proxy", false);
}

ResponseRecord ProxyDispatch::sendRequestThroughPotentialProxy(const std::wstring& verb, const std::wstring& path,
                                                               const std::vector<HttpHeader>& headers,
                                                               const std::string& body, const Proxy& proxy)
{
    const std::unique_ptr<IExchange> request = transport->openRequest(verb, path, headers);
    ResponseRecord response = request->perform(body);
    if (response.statusCode == statusProxyAuthenticationRequired) {
        if (proxy.username.empty() || proxy.password.empty())
            VESK_HTTP_FAIL(flavour, "Credentials were not provided to authenticate with proxy:" + proxy.address,
                           response.requestSent);
        request->enableProxyAuthentication(Utf8ToWide(proxy.username), Utf8ToWide(proxy.password));
        response = request->perform(body);
    }
    VESK_HTTP_LOG(flavour, Info) << "trySendRequestThroughPotentialProxy returning response with status code: "
                                 << response.statusCode;
    return response;
}

}  // namespace Vesk::Http::Core
