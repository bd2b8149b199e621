#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/assert/source_location.hpp>

#include "halvlib/String.h"

// The WinHTTP engine under both HTTP clients. What sets the two clients apart (which log gets the
// lines, which statuses are good, which error type is thrown, how ValidateFile judges a server)
// is a Flavour that each client supplies; everything else is one code path.
namespace Vesk::Http::Core {

enum class Level { Debug, Info, Warning, Error };

// One response as the engine reads it.
struct ResponseRecord {
    std::vector<char> body;
    int statusCode = 0;
    bool requestSent = false;
    std::map<std::wstring, std::wstring> headers;  // only when the flavour reads them
};

// How a ValidateFile check walks the store's certificates.
struct FileCheckRules {
    bool logsEachCertificate = false;    // "Validating with cert N: name"
    bool checksCrlTimeValidity = false;  // a signing certificate's CRL must also be current
};

class Flavour {
public:
    virtual ~Flavour() = default;

    // The client's log; must not throw.
    virtual void log(Level level, const std::string& text) const noexcept = 0;
    // WinHttpCloseHandle with the client's reaction to a failure.
    virtual void closeHandle(HINTERNET handle) const noexcept = 0;

    // The client's error type, thrown through boost::throw_exception with the thrower's location.
    [[noreturn]] virtual void throwError(const std::string& message, bool requestSent,
                                         const boost::source_location& location) const = 0;
    [[noreturn]] virtual void throwCertificateError(const std::string& message,
                                                    const boost::source_location& location) const = 0;
    [[noreturn]] virtual void throwStatusError(const std::string& message, const ResponseRecord& response,
                                               const boost::source_location& location) const = 0;

    virtual bool isGoodStatus(int status) const = 0;
    virtual std::string securityProtocolText(DWORD mask) const = 0;
    virtual bool readsResponseHeaders() const = 0;
    virtual bool logsOpenedConnection() const = 0;
    // ERROR_WINHTTP_AUTODETECTION_FAILED gets an INFO line of its own instead of the warning.
    virtual bool tellsMissingProxyScriptApart() const = 0;

    // ValidateFile.
    virtual FileCheckRules fileCheckRules() const = 0;
    virtual bool ignoresCallbacksOnClosedRequest() const = 0;
    // Empty: a failed query of the server certificate is not logged.
    virtual std::string certificateQueryFailureLine() const = 0;
    virtual std::string certificateRefusedLine() const = 0;
};

// One line of the flavour's log, written when the statement ends.
class LogLine {
public:
    LogLine(const Flavour& flavour, Level level) : flavour(flavour), level(level) {}
    ~LogLine()
    {
        try {
            flavour.log(level, text.str());
        } catch (...) {
        }
    }
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <class T>
    LogLine& operator<<(const T& value)
    {
        using V = std::decay_t<T>;
        if constexpr (std::is_same_v<V, std::wstring> || std::is_same_v<V, std::wstring_view>)
            text << WideToUtf8(std::wstring_view(value));
        else if constexpr (std::is_same_v<V, const wchar_t*> || std::is_same_v<V, wchar_t*>)
            text << WideToUtf8(std::wstring_view(value ? value : L""));
        else
            text << value;
        return *this;
    }

private:
    const Flavour& flavour;
    Level level;
    std::ostringstream text;
};

// A WinHTTP handle closed through its client's flavour.
class InternetHandle {
public:
    InternetHandle() = default;
    InternetHandle(const Flavour& flavour, HINTERNET handle) : flavour(&flavour), handle(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(InternetHandle&& other) noexcept : flavour(other.flavour), handle(other.release()) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            flavour = other.flavour;
            handle = other.release();
        }
        return *this;
    }

    HINTERNET get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    void reset()
    {
        if (handle != nullptr)
            flavour->closeHandle(release());
    }

private:
    HINTERNET release() { return std::exchange(handle, nullptr); }

    const Flavour* flavour = nullptr;
    HINTERNET handle = nullptr;
};

}  // namespace Vesk::Http::Core

#define VESK_HTTP_LOG(flavour, level) ::Vesk::Http::Core::LogLine((flavour), ::Vesk::Http::Core::Level::level)
#define VESK_HTTP_FAIL(flavour, message, requestSent) \
    (flavour).throwError((message), (requestSent), BOOST_CURRENT_LOCATION)
#define VESK_HTTP_FAIL_CERTIFICATE(flavour, message) (flavour).throwCertificateError((message), BOOST_CURRENT_LOCATION)
#define VESK_HTTP_FAIL_STATUS(flavour, message, response) \
    (flavour).throwStatusError((message), (response), BOOST_CURRENT_LOCATION)
