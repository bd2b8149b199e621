#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Shared/VeskHttpClient/IHttpClient.h"
#include "Shared/VeskHttpClient/ProxyDispatch.h"

namespace Vesk::Http {

// This library's side of the engine: the in-house logger, any 2xx status, the response's headers
// and body on a bad status.
const Core::Flavour& VeskFlavour();

class HttpClientImpl {
public:
    HttpClientImpl(std::wstring host, std::wstring userAgent, std::vector<std::wstring> certificateFiles,
                   std::vector<std::wstring> crlFiles, CertificateCheck certificateCheck, std::set<Proxy> proxies,
                   std::int32_t proxyDiscovery, std::wstring confirmationPath, bool secure, std::uint16_t port);
    // With a transport of the caller's choice (tests).
    HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                   std::wstring confirmationPath, std::unique_ptr<Core::ITransport> transport);

    HttpResponse doAction(const std::wstring& verb, const std::wstring& path, const std::vector<HttpHeader>& headers,
                          const std::string& body);
    std::vector<Proxy> orderProxyCandidates() { return dispatch.orderProxyCandidates(); }

private:
    Core::ProxyDispatch dispatch;
};

}  // namespace Vesk::Http
