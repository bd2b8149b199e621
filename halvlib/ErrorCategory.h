#pragma once

#include <string>
#include <system_error>

namespace halvlib::string {

// The in-house error category: its messages are the system's English error texts followed by
// " (", the code and ")".
class _HalvlibErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override;
    std::string message(int code) const override;
};

const std::error_category& GetErrorCategory();

// The system's text for a Windows error code in UTF-8, English first; never fails.
std::string GetErrorMessage(int code, int format);

}  // namespace halvlib::string

// std::system_error in the in-house category; what() is the text, ": " and the code's message.
[[noreturn]] void ThrowSystemError(int code, const std::string& what);
[[noreturn]] void ThrowLastError(const std::string& what);
