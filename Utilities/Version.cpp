#include "Utilities/Version.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Utilities/Throw.h"

namespace utilities {

namespace {

std::vector<std::string> SplitAtDots(const std::string& text)
{
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type dot = text.find('.', start);
        pieces.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            return pieces;
        start = dot + 1;
    }
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The std::stoi rules in the C locale, with texts that do not depend on the standard library.
int ParseComponent(const std::string& piece)
{
    std::size_t position = 0;
    while (position < piece.size() && IsSpace(piece[position]))
        ++position;
    bool negative = false;
    if (position < piece.size() && (piece[position] == '+' || piece[position] == '-'))
        negative = piece[position++] == '-';
    const std::size_t digitsStart = position;
    long long magnitude = 0;
    bool outOfRange = false;
    for (; position < piece.size() && piece[position] >= '0' && piece[position] <= '9'; ++position) {
        // Saturates so that any number of digits is read without overflow.
        if (!outOfRange)
            magnitude = magnitude * 10 + (piece[position] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1)
            outOfRange = true;
    }
    if (position == digitsStart)
        UTILITIES_THROW(std::invalid_argument("invalid stoi argument"));
    if (outOfRange || (!negative && magnitude > INT_MAX))
        UTILITIES_THROW(std::out_of_range("stoi argument out of range"));
    if (position != piece.size())
        UTILITIES_THROW(std::runtime_error("Invalid argument."));
    const long long value = negative ? -magnitude : magnitude;
    if (value < 0)
        UTILITIES_THROW(std::runtime_error("Negative version numbers."));
    return static_cast<int>(value);
}

}  // namespace

int CompareVersions(const std::string& first, const std::string& second)
{
    const std::vector<std::string> firstPieces = SplitAtDots(first);
    const std::vector<std::string> secondPieces = SplitAtDots(second);
    const std::size_t count = std::max(firstPieces.size(), secondPieces.size());
    // Every component is read before any is compared, so a malformed one never goes unnoticed.
    std::vector<std::pair<int, int>> numbers;
    for (std::size_t i = 0; i < count; ++i) {
        const int a = i < firstPieces.size() ? ParseComponent(firstPieces[i]) : 0;
        const int b = i < secondPieces.size() ? ParseComponent(secondPieces[i]) : 0;
        numbers.emplace_back(a, b);
    }
    for (const auto& [a, b] : numbers) {
        if (a != b)
            return a > b ? 1 : -1;
    }
    return 0;
}

std::string GetFileVersion(const std::wstring& modulePath)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(modulePath.c_str(), &ignored);
    if (size == 0)
        UTILITIES_THROW(std::runtime_error("Failed to get file version info size. Error code: " +
                                           std::to_string(GetLastError())));
    std::vector<BYTE> buffer(size);
    if (!GetFileVersionInfoW(modulePath.c_str(), 0, size, buffer.data()))
        UTILITIES_THROW(std::runtime_error("Failed to get file version info. Error code: " +
                                           std::to_string(GetLastError())));
    void* block = nullptr;
    UINT length = 0;
    // A root block shorter than the fixed record would be read past its end.
    if (!VerQueryValueW(buffer.data(), L"\\", &block, &length) || block == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        UTILITIES_THROW(std::runtime_error("Failed to get version info. Error code: " + std::to_string(GetLastError())));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace utilities
