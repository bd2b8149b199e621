#include "Utilities/Stream.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "Utilities/Throw.h"

namespace utilities {

namespace {

class ExceptionMaskScope {
public:
    explicit ExceptionMaskScope(std::istream& stream) : stream(stream), saved(stream.exceptions())
    {
        stream.exceptions(std::ios::failbit | std::ios::badbit);
    }
    ~ExceptionMaskScope()
    {
        stream.exceptions(saved);
    }
    ExceptionMaskScope(const ExceptionMaskScope&) = delete;
    ExceptionMaskScope& operator=(const ExceptionMaskScope&) = delete;

private:
    std::istream& stream;
    std::ios::iostate saved;
};

}  // namespace

std::vector<char> Read(std::istream& stream, std::size_t maxBytes)
{
    const ExceptionMaskScope scope(stream);
    std::streamoff remaining = 0;
    if (stream.peek() != std::char_traits<char>::eof()) {
        const std::streampos here = stream.tellg();
        stream.seekg(0, std::ios::end);
        remaining = stream.tellg() - here;
        stream.seekg(here);
    } else {
        stream.clear(stream.rdstate() & ~std::ios::eofbit);
    }
    if (remaining < 0 || static_cast<unsigned long long>(remaining) > std::numeric_limits<std::size_t>::max())
        UTILITIES_THROW(std::runtime_error("Too much data"));
    const std::size_t count = std::min(maxBytes, static_cast<std::size_t>(remaining));
    std::vector<char> data(count);
    if (count > 0)
        stream.read(data.data(), static_cast<std::streamsize>(count));
    return data;
}

std::vector<char> ReadFromStart(std::istream& stream)
{
    stream.seekg(0, std::ios::beg);
    return Read(stream, 64);
}

}  // namespace utilities
