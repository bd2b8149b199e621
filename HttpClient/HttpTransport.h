#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HttpClient/IHttpClient.h"
#include "Utilities/Proxy.h"

#include <boost/assert/source_location.hpp>
#include <boost/throw_exception.hpp>

// Every client error carries where it was thrown.
#define HTTPCLIENT_THROW(exception) ::boost::throw_exception((exception), BOOST_CURRENT_LOCATION)

struct HttpClientResponse {
    std::vector<char> body;
    int statusCode = 0;
    bool requestSent = false;
};

// One request on the live connection; it may be performed twice (after proxy authentication).
class IHttpExchange {
public:
    virtual ~IHttpExchange() = default;
    virtual HttpClientResponse perform(const std::string& body) = 0;
    virtual void enableProxyAuthentication(const std::wstring& username, const std::wstring& password) = 0;
};

// The WinHTTP side of the client, so that the proxy fallback can be driven without a network.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    // Opens a session through the proxy address (direct when empty) and a connection to host;
    // both become the live handles.
    virtual void open(const std::string& proxyAddress, const std::wstring& host) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual std::unique_ptr<IHttpExchange> openRequest(const std::wstring& verb, const std::wstring& path,
                                                       const std::vector<HttpHeader>& headers) = 0;
    virtual std::vector<Proxy> discoverAutomaticProxies(const std::wstring& url) = 0;
    virtual std::optional<Proxy> discoverSystemProxy() = 0;
};

// Splits an automatic proxy list at ';', ' ' and TAB into AutoDiscovered candidates.
std::vector<Proxy> splitAutomaticProxies(const std::wstring& proxyList);
