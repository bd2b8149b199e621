#include "halvlib/String.h"

#include <windows.h>

#include <gsl/narrow>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "halvlib/ErrorCategory.h"

std::string WideToUtf8(const wchar_t* text, int length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring Utf8ToWide(const char* text, int length)
{
    if (length == 0)
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, length, result.data(), size);
    return result;
}

std::string WideToUtf8(std::wstring_view text)
{
    return WideToUtf8(text.data(), gsl::narrow<int>(text.size()));
}

std::wstring Utf8ToWide(std::string_view text)
{
    return Utf8ToWide(text.data(), gsl::narrow<int>(text.size()));
}

namespace halvlib::string {

std::string ToUtf8(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    // Three bytes are the most UTF-8 one UTF-16 unit can need. gsl::narrow refuses a length
    // whose buffer size would not fit the system call's int, rather than converting a prefix.
    const int capacity = gsl::narrow<int>(length * 3);
    std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, gsl::narrow<int>(length), buffer.data(),
                                            capacity, nullptr, nullptr);
    if (written == 0)
        ThrowLastError("Error converting UTF-16 string to UTF-8");
    return std::string(buffer.data(), static_cast<std::size_t>(written));
}

std::wstring ToUtf16(const char* text, std::size_t length)
{
    if (length == 0)
        return {};
    const int capacity = gsl::narrow<int>(length);
    std::vector<wchar_t> buffer(length, L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, 0, text, capacity, buffer.data(), capacity);
    if (written == 0)
        ThrowLastError("Error converting UTF-8 string to UTF-16");
    return std::wstring(buffer.data(), static_cast<std::size_t>(written));
}

std::wstring FormatNumber(unsigned value, int format)
{
    std::wostringstream out;
    switch (format) {
    case Decimal:
        out << value;
        break;
    case HResult:
        out << L"hr:0x" << std::hex << std::setw(8) << std::setfill(L'0') << value;
        break;
    default:
        throw std::logic_error("Unhandled number format");
    }
    return out.str();
}

}  // namespace halvlib::string
