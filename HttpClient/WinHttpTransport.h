#pragma once

#include <optional>

#include "HttpClient/WinHttp.h"

class WinHttpTransport : public IHttpTransport {
public:
    WinHttpTransport(std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                     CertificateCheck certificateCheck, bool secure);

    void open(const std::string& proxyAddress, const std::wstring& host) override;
    bool isOpen() const override;
    void close() override;
    std::unique_ptr<IHttpExchange> openRequest(const std::wstring& verb, const std::wstring& path,
                                               const std::vector<HttpHeader>& headers) override;
    std::vector<Proxy> discoverAutomaticProxies(const std::wstring& url) override;
    std::optional<Proxy> discoverSystemProxy() override;

private:
    std::vector<std::wstring> certificateFiles;
    std::vector<std::wstring> crlFiles;
    CertificateCheck certificateCheck;
    bool secure;
    // The connection is declared last so that it closes before its session.
    std::optional<HttpSession> session;
    std::optional<HttpConnection> connection;
};
