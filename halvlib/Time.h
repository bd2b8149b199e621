#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace halvlib::time {

// A FILETIME count (100-ns units since 1601) as a point of the standard clock. The clock's own
// range decides what fits: libstdc++ counts nanoseconds, so only about 1678 to 2262 do.
std::chrono::system_clock::time_point ToTimePoint(std::uint64_t filetime);

// gmtime that throws instead of returning an error number.
std::tm GmTime(std::int64_t secondsSince1970);

}  // namespace halvlib::time
