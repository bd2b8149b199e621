#pragma once

#include <cstddef>
#include <istream>
#include <vector>

namespace utilities {

// Up to maxBytes from the current position; fewer only at the end of the stream. A read that
// comes up short throws the stream's failure.
std::vector<char> Read(std::istream& stream, std::size_t maxBytes);
// The first 64 bytes (or fewer, for a shorter stream).
std::vector<char> ReadFromStart(std::istream& stream);

}  // namespace utilities
