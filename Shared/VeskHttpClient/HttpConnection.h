#pragma once

#include <cstdint>
#include <string>

#include "Shared/VeskHttpClient/HttpSession.h"

namespace Vesk::Http {

class HttpConnection {
public:
    // Port 0 is the scheme's default: 443 when secure, else 80.
    static HttpConnection create(const Core::Flavour& flavour, const HttpSession& session, const std::wstring& host,
                                 bool secure, std::uint16_t port);
    HINTERNET get() const { return handle.get(); }

private:
    HttpConnection() = default;
    Core::InternetHandle handle;
};

}  // namespace Vesk::Http
