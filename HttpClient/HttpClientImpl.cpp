#include "HttpClient/HttpClientImpl.h"

#include <cstdio>

#include <boost/throw_exception.hpp>

#include "Utilities/LogStatement.h"

namespace {

namespace Core = Vesk::Http::Core;

class TraceLog : public Core::Flavour {
public:
    void log(Core::Level level, const std::string& text) const noexcept override
    {
        // The trace log has no debug level: those lines are the other client's.
        switch (level) {
        case Core::Level::Debug:
            return;
        case Core::Level::Info:
            LOG_INFO << text;
            return;
        case Core::Level::Warning:
            LOG_WARNING << text;
            return;
        case Core::Level::Error:
            LOG_ERROR << text;
            return;
        }
    }
    void closeHandle(HINTERNET handle) const noexcept override { Http::CloseInternetHandle(handle); }

    void throwError(const std::string& message, bool requestSent,
                    const boost::source_location& location) const override
    {
        boost::throw_exception(HttpClient::Error(message, requestSent), location);
    }
    void throwCertificateError(const std::string& message, const boost::source_location& location) const override
    {
        boost::throw_exception(HttpClient::Error(message), location);
    }
    void throwStatusError(const std::string& message, const Core::ResponseRecord& response,
                          const boost::source_location& location) const override
    {
        boost::throw_exception(HttpClient::Error(message, response.statusCode, response.requestSent), location);
    }

    bool isGoodStatus(int status) const override { return status == 200; }
    std::string securityProtocolText(DWORD mask) const override
    {
        char text[9];
        std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(mask));
        return text;
    }
    bool readsResponseHeaders() const override { return false; }
    bool logsOpenedConnection() const override { return false; }
    bool tellsMissingProxyScriptApart() const override { return true; }

    Core::FileCheckRules fileCheckRules() const override
    {
        Core::FileCheckRules rules;
        rules.checksCrlTimeValidity = true;
        return rules;
    }
    bool ignoresCallbacksOnClosedRequest() const override { return true; }
    std::string certificateQueryFailureLine() const override
    {
        return "Failed to query server cert context; terminating HTTP connection.";
    }
    std::string certificateRefusedLine() const override
    {
        return "Failed to validate server cert; terminating HTTP connection.";
    }
};

}  // namespace

const Vesk::Http::Core::Flavour& TraceLogFlavour()
{
    static const TraceLog flavour;
    return flavour;
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::vector<std::wstring> certificateFiles,
                               std::vector<std::wstring> crlFiles, CertificateCheck certificateCheck,
                               std::set<Proxy> proxies, std::int32_t proxyDiscovery, std::wstring confirmationPath,
                               bool secure)
    : HttpClientImpl(std::move(host), std::move(proxies), proxyDiscovery, std::move(confirmationPath),
                     Core::MakeWinHttpTransport(TraceLogFlavour(), HttpClientUserAgent(),
                                                Core::RequestSettings{std::move(certificateFiles), std::move(crlFiles),
                                                                      certificateCheck, secure, 0}))
{
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                               std::wstring confirmationPath, std::unique_ptr<Core::ITransport> transport)
    : dispatch(TraceLogFlavour(), std::move(host), std::move(proxies), proxyDiscovery, std::move(confirmationPath),
               std::move(transport))
{
}

std::string HttpClientImpl::doAction(const std::wstring& verb, const std::wstring& path,
                                     const std::vector<HttpHeader>& headers, const std::string& body)
{
    LOG_INFO << "Sending HTTP '" << verb << "' request to: " << path;
    const Core::ResponseRecord response = dispatch.doAction(verb, path, headers, body);
    return std::string(response.body.begin(), response.body.end());
}
