#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Shared/VeskHttpClient/HttpFlavour.h"
#include "Shared/VeskHttpClient/HttpTypes.h"
#include "Utilities/Proxy.h"

namespace Vesk::Http::Core {

// One request on the live connection; it may be performed twice (after proxy authentication).
class IExchange {
public:
    virtual ~IExchange() = default;
    virtual ResponseRecord perform(const std::string& body) = 0;
    virtual void enableProxyAuthentication(const std::wstring& username, const std::wstring& password) = 0;
};

// The WinHTTP side of a client, so that the dispatch can be driven without a network.
class ITransport {
public:
    virtual ~ITransport() = default;
    // Opens a session through the proxy address (direct when empty) and a connection to host;
    // both become the live handles.
    virtual void open(const std::string& proxyAddress, const std::wstring& host) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual std::unique_ptr<IExchange> openRequest(const std::wstring& verb, const std::wstring& path,
                                                   const std::vector<HttpHeader>& headers) = 0;
    virtual std::vector<Proxy> discoverAutomaticProxies(const std::wstring& url) = 0;
    virtual std::optional<Proxy> discoverSystemProxy() = 0;
};

struct RequestSettings {
    std::vector<std::wstring> certificateFiles;
    std::vector<std::wstring> crlFiles;
    CertificateCheck certificateCheck = CertificateCheck::RecordSystemStore;
    bool secure = true;
    std::uint16_t port = 0;  // 0: the scheme's default
};

// The real transport: one session and connection at a time, requests over WinHTTP.
std::unique_ptr<ITransport> MakeWinHttpTransport(const Flavour& flavour, std::wstring userAgent,
                                                 RequestSettings settings);

// Splits an automatic proxy list at ';', ' ' and TAB into AutoDiscovered candidates.
std::vector<Proxy> splitAutomaticProxies(const Flavour& flavour, const std::wstring& proxyList);

// The configured candidates, with discovered ones for discovery 0 and the direct connection for 0
// and 1, in the set's order.
std::set<Proxy> buildProxyCandidates(const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                                     const std::wstring& host, ITransport& transport);

// Sends one request over the live connection, or else through each proxy candidate in turn until
// one answers with a good status. A request that reached the server is never sent again through
// another candidate.
class ProxyDispatch {
public:
    ProxyDispatch(const Flavour& flavour, std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                  std::wstring confirmationPath, std::unique_ptr<ITransport> transport);

    // A response with a good status, or the flavour's error.
    ResponseRecord doAction(const std::wstring& verb, const std::wstring& path,
                            const std::vector<HttpHeader>& headers, const std::string& body);

    // The candidates in the order they are tried: the one of the live connection first.
    std::vector<Proxy> orderProxyCandidates();

private:
    ResponseRecord sendRequestThroughPotentialProxy(const std::wstring& verb, const std::wstring& path,
                                                    const std::vector<HttpHeader>& headers, const std::string& body,
                                                    const Proxy& proxy);

    const Flavour& flavour;
    std::wstring host;
    std::set<Proxy> proxies;
    std::int32_t proxyDiscovery;
    std::wstring confirmationPath;
    std::unique_ptr<ITransport> transport;
    std::optional<Proxy> connectedProxy;
};

}  // namespace Vesk::Http::Core
