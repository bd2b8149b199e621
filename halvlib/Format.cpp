#include "halvlib/Format.h"

#include <cstdio>
#include <stdexcept>

namespace halvlib {

std::string formatString(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    try {
        std::string result = formatStringV(format, arguments);
        va_end(arguments);
        return result;
    } catch (...) {
        va_end(arguments);
        throw;
    }
}

std::string formatStringV(const char* format, va_list arguments)
{
    if (format == nullptr)
        throw std::invalid_argument("formatString: the format string is null");
    va_list measureArguments;
    va_copy(measureArguments, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, measureArguments);
    va_end(measureArguments);
    if (size < 0)
        throw std::runtime_error(std::string("Encoding error for format string: ") + format);
    std::string result(static_cast<std::size_t>(size), '\0');
    // The string's own terminator takes the null vsnprintf writes after the text.
    std::vsnprintf(result.data(), result.size() + 1, format, arguments);
    return result;
}

}  // namespace halvlib
