#include "Utilities/TimeUtil.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Utilities/Throw.h"

namespace utilities {

namespace {

FILETIME ToFileTime(std::uint64_t value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

template <std::size_t N>
std::array<char, N> ToFixedArray(const std::string& text)
{
    // A year past 9999 makes the text longer than the field it must fill.
    if (text.size() != N)
        UTILITIES_THROW(std::runtime_error("Result size doesn't match output"));
    std::array<char, N> result;
    std::copy(text.begin(), text.end(), result.begin());
    return result;
}

struct Field {
    unsigned value;
    int width;
};

std::ostream& operator<<(std::ostream& out, Field field)
{
    return out << std::setw(field.width) << std::setfill('0') << field.value;
}

std::ostringstream ThrowingStream()
{
    std::ostringstream out;
    out.exceptions(std::ios::failbit | std::ios::badbit);
    out << std::dec;
    return out;
}

}  // namespace

SYSTEMTIME as_systemtime(const FILETIME& time)
{
    SYSTEMTIME result;
    if (!FileTimeToSystemTime(&time, &result))
        UTILITIES_THROW(std::runtime_error("FileTimeToSystemTime failed: " + std::to_string(GetLastError())));
    return result;
}

std::uint64_t now_as_filetime()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::array<char, 15> as_utc_yyyyMMdd_HHmmss(std::uint64_t filetime)
{
    const SYSTEMTIME t = as_systemtime(ToFileTime(filetime));
    std::ostringstream out = ThrowingStream();
    out << Field{t.wYear, 4} << Field{t.wMonth, 2} << Field{t.wDay, 2} << '_' << Field{t.wHour, 2}
        << Field{t.wMinute, 2} << Field{t.wSecond, 2};
    return ToFixedArray<15>(out.str());
}

std::array<char, 28> as_utc_iso8601(std::uint64_t filetime)
{
    const SYSTEMTIME t = as_systemtime(ToFileTime(filetime));
    // Milliseconds from the calendar, then the four 100-ns digits below them: seven digits in all.
    const auto belowMillisecond = static_cast<unsigned>(filetime % 10'000);
    std::ostringstream out = ThrowingStream();
    out << Field{t.wYear, 4} << '-' << Field{t.wMonth, 2} << '-' << Field{t.wDay, 2} << 'T'
        << Field{t.wHour, 2} << ':' << Field{t.wMinute, 2} << ':' << Field{t.wSecond, 2} << '.'
        << Field{t.wMilliseconds, 3} << Field{belowMillisecond, 4} << 'Z';
    return ToFixedArray<28>(out.str());
}

}  // namespace utilities
