#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

// Time values are FILETIME counts: 100-ns units since 1601-01-01 UTC, as 64-bit integers, so
// every date up to 9999 is exact whatever the standard clock's resolution.
namespace utilities {

SYSTEMTIME as_systemtime(const FILETIME& time);
std::uint64_t now_as_filetime();

// 20240501_091542: for file names.
std::array<char, 15> as_utc_yyyyMMdd_HHmmss(std::uint64_t filetime);
// 2024-05-01T09:15:42.1234567Z: for log lines.
std::array<char, 28> as_utc_iso8601(std::uint64_t filetime);

}  // namespace utilities
