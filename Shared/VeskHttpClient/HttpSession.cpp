#include "Shared/VeskHttpClient/HttpSession.h"

#include <exception>

#include "halvlib/Logging.h"
#include "Shared/VeskHttpClient/WinHttpApi.h"

namespace Vesk::Http {

namespace {

constexpr DWORD optionSecureProtocols = 84;

}  // namespace

void CloseInternetHandle(HINTERNET handle) noexcept
{
    if (!WinHttpCloseHandle(handle)) {
        HALVLIB_LOG(halvlib::logging::Error) << "WinHttpCloseHandle failed: " << GetLastError();
        std::terminate();
    }
}

HttpSession HttpSession::create(const Core::Flavour& flavour, const std::wstring& proxyAddress,
                                const std::wstring& userAgent, bool secure)
{
    HttpSession session(flavour);
    const bool direct = proxyAddress.empty();
    session.handle = Core::InternetHandle(
        flavour, WinHttpOpen(userAgent.c_str(), direct ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                             direct ? WINHTTP_NO_PROXY_NAME : proxyAddress.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.handle)
        VESK_HTTP_FAIL(flavour, "WinHttpOpen failed: " + std::to_string(GetLastError()), false);
    if (secure)
        session.restrictSecurityProtocols();
    return session;
}

void HttpSession::restrictSecurityProtocols()
{
    // TLS 1.2; 1.1 and 1.2; 1.0 to 1.2; 1.0 alone: the first that the system accepts.
    DWORD error = 0;
    for (DWORD mask : {0x800u, 0xA00u, 0xA80u, 0x80u}) {
        if (Core::winHttp().setOption(handle.get(), optionSecureProtocols, &mask, sizeof(mask))) {
            VESK_HTTP_LOG(*flavour, Info) << "Set security protocol: " << flavour->securityProtocolText(mask);
            return;
        }
        error = GetLastError();
    }
    VESK_HTTP_FAIL(*flavour, "WinHttpSetOption failed to set security protocol: " + std::to_string(error), false);
}

}  // namespace Vesk::Http
