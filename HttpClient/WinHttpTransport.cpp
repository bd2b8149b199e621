#include "HttpClient/WinHttpTransport.h"

#include "halvlib/String.h"
#include "Utilities/LogStatement.h"

namespace {

constexpr DWORD noAutoProxyScript = 12180;  // ERROR_WINHTTP_AUTODETECTION_FAILED

void freeGlobal(wchar_t* text)
{
    if (text != nullptr)
        GlobalFree(text);
}

}  // namespace

WinHttpTransport::WinHttpTransport(std::vector<std::wstring> certificateFiles, std::vector<std::wstring> crlFiles,
                                   CertificateCheck certificateCheck, bool secure)
    : certificateFiles(std::move(certificateFiles)), crlFiles(std::move(crlFiles)), certificateCheck(certificateCheck),
      secure(secure)
{
}

void WinHttpTransport::open(const std::string& proxyAddress, const std::wstring& host)
{
    close();
    session = HttpSession::create(HttpClientUserAgent(), proxyAddress, secure);
    connection = HttpConnection::create(*session, host, secure);
}

bool WinHttpTransport::isOpen() const
{
    return session && connection;
}

void WinHttpTransport::close()
{
    connection.reset();
    session.reset();
}

std::unique_ptr<IHttpExchange> WinHttpTransport::openRequest(const std::wstring& verb, const std::wstring& path,
                                                             const std::vector<HttpHeader>& headers)
{
    return std::make_unique<HttpRequest>(*connection, verb, path, certificateFiles, crlFiles, certificateCheck, headers,
                                         secure);
}

std::vector<Proxy> WinHttpTransport::discoverAutomaticProxies(const std::wstring& url)
{
    InternetHandleGuard temporary(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                              WINHTTP_NO_PROXY_BYPASS, 0));
    if (!temporary) {
        LOG_ERROR << "Failed to open a WinHttp session: " << GetLastError();
        return {};
    }
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    options.fAutoLogonIfChallenged = FALSE;
    WINHTTP_PROXY_INFO info = {};
    std::vector<Proxy> found;
    if (!WinHttpGetProxyForUrl(temporary.get(), url.c_str(), &options, &info)) {
        const DWORD error = GetLastError();
        if (error == noAutoProxyScript)
            LOG_INFO << "Did not discover an URL for a PAC file";
        else
            LOG_WARNING << "WinHttpGetProxyForUrl returned: " << error;
    } else if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr) {
        found = splitAutomaticProxies(info.lpszProxy);
    }
    freeGlobal(info.lpszProxy);
    freeGlobal(info.lpszProxyBypass);
    return found;
}

std::optional<Proxy> WinHttpTransport::discoverSystemProxy()
{
    WINHTTP_PROXY_INFO info = {};
    std::optional<Proxy> found;
    if (WinHttpGetDefaultProxyConfiguration(&info) && info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY &&
        info.lpszProxy != nullptr) {
        const std::string address = WideToUtf8(std::wstring_view(info.lpszProxy));
        LOG_INFO << "Discovered the system proxy " << address;
        found = Proxy(System, address, "", "");
    }
    freeGlobal(info.lpszProxy);
    freeGlobal(info.lpszProxyBypass);
    return found;
}
