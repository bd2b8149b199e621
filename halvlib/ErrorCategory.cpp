#include "halvlib/ErrorCategory.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string_view>

#include "halvlib/String.h"

namespace halvlib::string {

namespace {

constexpr std::wstring_view kWhiteSpace = L"\t\n\v\f\r ";

// English first, then the invariant language, then whatever the system picks.
constexpr std::array<DWORD, 7> kMessageLanguages = {0x409, 0x809, 0x9, 0x409, 0x7F, 0x47F, 0};

std::optional<std::wstring> SystemMessage(int code)
{
    for (DWORD language : kMessageLanguages) {
        wchar_t* buffer = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
            nullptr, static_cast<DWORD>(code), language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        if (length == 0 || buffer == nullptr)
            continue;
        std::wstring text(buffer, length);
        LocalFree(buffer);
        text.erase(text.find_last_not_of(kWhiteSpace) + 1);
        text.erase(0, text.find_first_not_of(kWhiteSpace));
        return text;
    }
    return std::nullopt;
}

}  // namespace

const char* _HalvlibErrorCategory::name() const noexcept
{
    return "HalvlibErrorCategory";
}

std::string _HalvlibErrorCategory::message(int code) const
{
    return GetErrorMessage(code, Decimal);
}

const std::error_category& GetErrorCategory()
{
    static const _HalvlibErrorCategory category;
    return category;
}

std::string GetErrorMessage(int code, int format)
{
    const std::wstring number = FormatNumber(static_cast<unsigned>(code), format);
    const std::optional<std::wstring> text = SystemMessage(code);
    return ToUtf8(text ? *text + L" (" + number + L")" : L"Unknown error (" + number + L")");
}

}  // namespace halvlib::string

void ThrowSystemError(int code, const std::string& what)
{
    throw std::system_error(code, halvlib::string::GetErrorCategory(), what);
}

void ThrowLastError(const std::string& what)
{
    ThrowSystemError(static_cast<int>(GetLastError()), what);
}
