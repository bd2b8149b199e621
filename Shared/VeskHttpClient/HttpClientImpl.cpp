#include "Shared/VeskHttpClient/HttpClientImpl.h"

#include <boost/throw_exception.hpp>

#include "halvlib/Logging.h"
#include "Shared/VeskHttpClient/HttpClient.h"
#include "Shared/VeskHttpClient/HttpSession.h"

namespace Vesk::Http {

namespace {

class InHouseFlavour : public Core::Flavour {
public:
    void log(Core::Level level, const std::string& text) const noexcept override
    {
        try {
            HALVLIB_LOG(toLoggerLevel(level)) << text;
        } catch (...) {
        }
    }
    void closeHandle(HINTERNET handle) const noexcept override { CloseInternetHandle(handle); }

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
        boost::throw_exception(HttpClient::Error(message, response.statusCode, response.requestSent, response.headers,
                                                 std::string(response.body.begin(), response.body.end())),
                               location);
    }

    bool isGoodStatus(int status) const override { return status >= 200 && status <= 299; }
    std::string securityProtocolText(DWORD mask) const override { return std::to_string(mask); }
    bool readsResponseHeaders() const override { return true; }
    bool logsOpenedConnection() const override { return true; }
    bool tellsMissingProxyScriptApart() const override { return false; }

    Core::FileCheckRules fileCheckRules() const override
    {
        Core::FileCheckRules rules;
        rules.logsEachCertificate = true;
        return rules;
    }
    bool ignoresCallbacksOnClosedRequest() const override { return false; }
    std::string certificateQueryFailureLine() const override { return {}; }
    std::string certificateRefusedLine() const override { return "Terminating http connection."; }

private:
    static int toLoggerLevel(Core::Level level)
    {
        switch (level) {
        case Core::Level::Debug:
            return halvlib::logging::Debug;
        case Core::Level::Info:
            return halvlib::logging::Info;
        case Core::Level::Warning:
            return halvlib::logging::Warning;
        case Core::Level::Error:
            break;
        }
        return halvlib::logging::Error;
    }
};

}  // namespace

const Core::Flavour& VeskFlavour()
{
    static const InHouseFlavour flavour;
    return flavour;
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::wstring userAgent, std::vector<std::wstring> certificateFiles,
                               std::vector<std::wstring> crlFiles, CertificateCheck certificateCheck,
                               std::set<Proxy> proxies, std::int32_t proxyDiscovery, std::wstring confirmationPath,
                               bool secure, std::uint16_t port)
    : HttpClientImpl(std::move(host), std::move(proxies), proxyDiscovery, std::move(confirmationPath),
                     Core::MakeWinHttpTransport(VeskFlavour(), std::move(userAgent),
                                                Core::RequestSettings{std::move(certificateFiles), std::move(crlFiles),
                                                                      certificateCheck, secure, port}))
{
}

HttpClientImpl::HttpClientImpl(std::wstring host, std::set<Proxy> proxies, std::int32_t proxyDiscovery,
                               std::wstring confirmationPath, std::unique_ptr<Core::ITransport> transport)
    : dispatch(VeskFlavour(), std::move(host), std::move(proxies), proxyDiscovery, std::move(confirmationPath),
               std::move(transport))
{
}

HttpResponse HttpClientImpl::doAction(const std::wstring& verb, const std::wstring& path,
                                      const std::vector<HttpHeader>& headers, const std::string& body)
{
    HALVLIB_LOG(halvlib::logging::Debug) << "Sending HTTP '" << verb << "' request to: " << path;
    const Core::ResponseRecord response = dispatch.doAction(verb, path, headers, body);
    return {std::string(response.body.begin(), response.body.end()), response.statusCode};
}

}  // namespace Vesk::Http
