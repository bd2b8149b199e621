#pragma once

#include <cstdint>
#include <string>
#include <utility>

// The request header and the certificate modes that both HTTP clients share.
namespace Vesk::Http {

struct HttpHeader {
    HttpHeader(std::wstring name, std::wstring value) : name(std::move(name)), value(std::move(value)) {}

    std::wstring name;
    std::wstring value;
};

// Who judges the server's TLS certificate.
enum class CertificateCheck : std::int32_t {
    IgnoreErrors = 0,       // nobody: WinHTTP ignores certificate errors
    ValidateFile = 1,       // WinHTTP ignores them; the client checks against certificate and CRL files
    RecordSystemStore = 2,  // WinHTTP checks against the system store; the client records why it refused
};

}  // namespace Vesk::Http
