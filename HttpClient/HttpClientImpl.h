#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "HttpClient/HttpClient.h"
#include "Shared/VeskHttpClient/ProxyDispatch.h"

// This client's side of the engine: the trace log, status 200 only, the archive and details
// requests' error type.
const Vesk::Http::Core::Flavour& TraceLogFlavour();

class HttpClientImpl {
public:
    HttpClientImpl(std::wstring host, std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                   CertificateCheck certificateCheck, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                   std::wstring confirmationPath, bool secure);
    // With a transport of the caller's choice (tests).
    HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                   std::wstring confirmationPath, std::unique_ptr<Vesk::Http::Core::ITransport> transport);

    std::string doAction(const std::wstring& verb, const std::wstring& path, const std::vector<HttpHeader>& headers,
                         const std::string& body);

    // The candidates in the order they are tried: the one of the live connection first.
    std::vector<Proxy> orderProxyCandidates() { return dispatch.orderProxyCandidates(); }

private:
    Vesk::Http::Core::ProxyDispatch dispatch;
};
