#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__) && !defined(__clang__)
#define HALVLIB_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__clang__)
#define HALVLIB_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define HALVLIB_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace halvlib {

// printf-style formatting into a string. An argument the C library cannot encode throws
// std::runtime_error naming the format string.
std::string formatString(const char* format, ...) HALVLIB_PRINTF_FORMAT(1, 2);
std::string formatStringV(const char* format, va_list arguments);

}  // namespace halvlib
