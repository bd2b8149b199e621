#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace Vesk::Http::Core {

// What the errors of both HTTP clients carry, so that one dispatch decides for both whether
// another proxy may be tried.
class Error : public std::runtime_error {
public:
    bool certificateCheckFailure = false;  // the server certificate was refused
    bool requestSent = false;              // the server saw the request: never try another proxy
    std::optional<int> statusCode;

protected:
    Error(const std::string& text, bool certificateCheckFailure, bool requestSent, std::optional<int> statusCode)
        : std::runtime_error(text), certificateCheckFailure(certificateCheckFailure), requestSent(requestSent),
          statusCode(statusCode)
    {
    }
};

}  // namespace Vesk::Http::Core
