#pragma once

#include <string>

#include "Shared/VeskHttpClient/HttpFlavour.h"

namespace Vesk::Http {

// WinHttpCloseHandle; a failure is logged and ends the process.
void CloseInternetHandle(HINTERNET handle) noexcept;

// A synchronous WinHTTP session through one proxy (none when the address is empty); a secure
// session allows the newest TLS versions that the system's WinHTTP accepts.
class HttpSession {
public:
    static HttpSession create(const Core::Flavour& flavour, const std::wstring& proxyAddress,
                              const std::wstring& userAgent, bool secure);
    HINTERNET get() const { return handle.get(); }

private:
    explicit HttpSession(const Core::Flavour& flavour) : flavour(&flavour) {}
    void restrictSecurityProtocols();

    const Core::Flavour* flavour;
    Core::InternetHandle handle;
};

}  // namespace Vesk::Http
