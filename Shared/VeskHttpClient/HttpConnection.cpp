#include "Shared/VeskHttpClient/HttpConnection.h"

namespace Vesk::Http {

HttpConnection HttpConnection::create(const Core::Flavour& flavour, const HttpSession& session,
                                      const std::wstring& host, bool secure, std::uint16_t port)
{
    VESK_HTTP_LOG(flavour, Info) << "Opening connection to " << host;
    const INTERNET_PORT target =
        port != 0 ? port : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    HttpConnection connection;
    connection.handle = Core::InternetHandle(flavour, WinHttpConnect(session.get(), host.c_str(), target, 0));
    if (!connection.handle)
        VESK_HTTP_FAIL(flavour, "WinHttpConnect failed: " + std::to_string(GetLastError()), false);
    if (flavour.logsOpenedConnection())
        VESK_HTTP_LOG(flavour, Info) << "Opened connection to " << host;
    return connection;
}

}  // namespace Vesk::Http
