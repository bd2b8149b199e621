#pragma once

#include <string>

namespace utilities {

// Compares dotted decimal versions; a missing component counts as 0, so "1.2" equals "1.2.0.0".
// Returns 1 when first is higher, -1 when it is lower, 0 when they are equal. Every component of
// both texts must be a non-negative decimal number: std::invalid_argument "invalid stoi
// argument" (no digits), std::out_of_range "stoi argument out of range", std::runtime_error
// "Invalid argument." (characters after the number) or "Negative version numbers.".
int CompareVersions(const std::string& first, const std::string& second);

// The file version of a module's version resource as "a.b.c.d". Throws std::runtime_error
// naming the failed step and GetLastError.
std::string GetFileVersion(const std::wstring& modulePath);

}  // namespace utilities
