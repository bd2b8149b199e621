#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Lenient converters of the installer's own code: no error checks, bad sequences become the
// replacement character.
std::string WideToUtf8(const wchar_t* text, int length);
std::wstring Utf8ToWide(const char* text, int length);
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

namespace halvlib::string {

// Strict converters: a failing system call throws std::system_error in the in-house category.
std::string ToUtf8(const wchar_t* text, std::size_t length);
std::wstring ToUtf16(const char* text, std::size_t length);
inline std::string ToUtf8(std::wstring_view text) { return ToUtf8(text.data(), text.size()); }
inline std::wstring ToUtf16(std::string_view text) { return ToUtf16(text.data(), text.size()); }

enum NumberFormat : int { Decimal = 0, HResult = 1 };

// Format 0: unsigned decimal; format 1: "hr:0x" and eight lowercase hexadecimal digits.
std::wstring FormatNumber(unsigned value, int format);

}  // namespace halvlib::string
