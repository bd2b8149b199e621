#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "HttpClient/HttpClient.h"
#include "HttpClient/HttpTransport.h"

class HttpClientImpl {
public:
    HttpClientImpl(std::wstring host, std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                   CertificateCheck certificateCheck, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                   std::wstring confirmationPath, bool secure);
    // With a transport of the caller's choice (tests).
    HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                   std::wstring confirmationPath, std::unique_ptr<IHttpTransport> transport);

    std::string doAction(const std::wstring& verb, const std::wstring& path, const std::vector<HttpHeader>& headers,
                         const std::string& body);

    // The candidates in the order they are tried: the one of the live connection first.
    std::vector<Proxy> orderProxyCandidates();

private:
    HttpClientResponse sendRequestThroughPotentialProxy(const std::wstring& verb, const std::wstring& path,
                                                        const std::vector<HttpHeader>& headers,
                                                        const std::string& body, const Proxy& proxy);

    std::wstring host;
    std::set<Proxy> proxies;
    std::int32_t proxyDiscovery;
    std::wstring confirmationPath;
    std::unique_ptr<IHttpTransport> transport;
    std::optional<Proxy> connectedProxy;
};

std::set<Proxy> buildProxyCandidates(const std::set<Proxy>& proxies, std::int32_t proxyDiscovery,
                                     const std::wstring& host, IHttpTransport& transport);

